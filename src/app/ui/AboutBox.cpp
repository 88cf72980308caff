#include "AboutBox.h"

#include "Icons.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

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
    layout->addLayout(buttons);
    setFixedSize(sizeHint().expandedTo(QSize(300, 0)));
}

} // namespace vx
