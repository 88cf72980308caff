#include "AboutBox.h"

#include "Icons.h"
#include "base/LibraryCredits.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTextBrowser>
#include <QVBoxLayout>
#include <algorithm>

namespace vx {

const QString TAboutBox::VersionText = QStringLiteral("Version 4.1");
const QString TAboutBox::SupportCaption = QStringLiteral("Contact Support Department");

namespace {

QLabel* LinkLabel(const QString& AText, const QUrl& AUrl, QWidget* AParent) {
    auto* label = new QLabel(AParent);
    label->setText(
        QStringLiteral("<a href=\"%1\">%2</a>").arg(AUrl.toString().toHtmlEscaped(), AText.toHtmlEscaped()));
    label->setTextFormat(Qt::RichText);
    label->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    // The owner opens the link, so that it goes through the same door as the Help menu's.
    label->setOpenExternalLinks(false);
    label->setAlignment(Qt::AlignCenter);
    return label;
}

constexpr int CreditsWidth = 480;
constexpr int CreditsHeight = 180;
constexpr int CreditsLeastHeight = 60;
// The title bar and border, before the window manager has put them on and they can be measured.
constexpr int WindowFrameAllowance = 40;

QString FromUtf8(const std::string& AText) {
    return QString::fromUtf8(AText.data(), static_cast<qsizetype>(AText.size()));
}

QString CreditsHtml(const TLibraryCredits& ACredits) {
    QString html = QStringLiteral("<p>Vantorix runs on these libraries, each under its own licence");
    if (!ACredits.MediaRelease.empty())
        html += QStringLiteral(" (FFmpeg %1)").arg(FromUtf8(ACredits.MediaRelease).toHtmlEscaped());
    html += QStringLiteral(":</p><table cellspacing=\"0\" cellpadding=\"2\">");
    for (const TLibraryCredit& library : ACredits.Libraries) {
        const QString link = FromUtf8(library.Link).toHtmlEscaped();
        const QString facts = library.Version.empty()
                                  ? QStringLiteral("<td colspan=\"2\">not loaded: %1</td>")
                                        .arg(FromUtf8(library.Error).toHtmlEscaped())
                                  : QStringLiteral("<td>%1</td><td>%2</td>")
                                        .arg(FromUtf8(library.Version).toHtmlEscaped(),
                                             FromUtf8(library.License).toHtmlEscaped());
        html += QStringLiteral("<tr><td><b>%1</b></td>%2<td><a href=\"%3\">%3</a></td></tr>")
                    .arg(FromUtf8(library.Name).toHtmlEscaped(), facts, link);
    }
    return html + QStringLiteral("</table>");
}

} // namespace

TAboutBox::TAboutBox(const QUrl& AWebPage, const QString& ASupportMail,
                     std::function<void(const QUrl&)> AOpenUrl, QWidget* AParent)
    : QDialog(AParent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      FOpenUrl(std::move(AOpenUrl)) {
    setObjectName("AboutBox");
    setWindowTitle("About Vantorix");
    setModal(true);

    auto* picture = new QLabel(this);
    picture->setPixmap(icons::Application().pixmap(48, 48));
    picture->setAlignment(Qt::AlignCenter);

    LabelName = new QLabel("Vantorix", this);
    QFont nameFont = LabelName->font();
    nameFont.setBold(true);
    nameFont.setPointSizeF(nameFont.pointSizeF() * 1.6);
    LabelName->setFont(nameFont);
    LabelName->setAlignment(Qt::AlignCenter);

    LabelVersion = new QLabel(VersionText, this);
    LabelVersion->setAlignment(Qt::AlignCenter);

    LabelWebPage = LinkLabel(AWebPage.toString(), AWebPage, this);
    LabelSupport = LinkLabel(SupportCaption, QUrl(QStringLiteral("mailto:") + ASupportMail), this);
    for (QLabel* link : {LabelWebPage, LabelSupport})
        connect(link, &QLabel::linkActivated, this, [this](const QString& ALink) {
            if (FOpenUrl)
                FOpenUrl(QUrl(ALink));
        });

    // The libraries' lines are long and may grow; they scroll inside a box of their own.
    TextCredits = new QTextBrowser(this);
    TextCredits->setObjectName("TextCredits");
    TextCredits->setAccessibleName("Libraries and licences");
    TextCredits->setOpenLinks(false);
    TextCredits->setFixedSize(CreditsWidth, CreditsHeight);
    connect(TextCredits, &QTextBrowser::anchorClicked, this, [this](const QUrl& AUrl) {
        if (FOpenUrl)
            FOpenUrl(AUrl);
    });

    ButtonOK = new QPushButton("OK", this);
    ButtonOK->setDefault(true);
    connect(ButtonOK, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ButtonOK);
    buttons->addStretch(1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 18, 24, 14);
    layout->addWidget(picture);
    layout->addWidget(LabelName);
    layout->addWidget(LabelVersion);
    layout->addSpacing(10);
    layout->addWidget(LabelWebPage);
    layout->addWidget(LabelSupport);
    layout->addSpacing(10);
    layout->addWidget(TextCredits, 0, Qt::AlignHCenter);
    layout->addSpacing(10);
    layout->addLayout(buttons);
    setFixedSize(sizeHint().expandedTo(QSize(300, 0)));
}

void TAboutBox::showEvent(QShowEvent* AEvent) {
    ShowCredits();
    FitOnScreen();
    QDialog::showEvent(AEvent);
}

void TAboutBox::FitOnScreen() {
    // On a short screen (or a large scale factor) the credits give up height, down to a few lines;
    // they scroll.
    const QScreen* shownOn = screen();
    if (!shownOn)
        return;
    const int frame = std::max(frameGeometry().height() - geometry().height(), WindowFrameAllowance);
    const int excess = (sizeHint().height() - TextCredits->height() + CreditsHeight) + frame -
                       shownOn->availableGeometry().height();
    TextCredits->setFixedHeight(std::max(CreditsLeastHeight, CreditsHeight - std::max(0, excess)));
    setFixedSize(sizeHint().expandedTo(QSize(300, 0)));
}

void TAboutBox::ShowCredits() {
    // The libraries are looked for where the window loads them: the program's folder first.
    TextCredits->setHtml(
        CreditsHtml(ReadLibraryCredits(QCoreApplication::applicationDirPath().toStdString())));
}

} // namespace vx
