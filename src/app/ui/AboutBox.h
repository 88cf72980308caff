// The about box: the program's name and version, the maker's web page and a way to write to
// the support department; below them the libraries the program runs on, as loaded, with their
// versions, licences and addresses.
#pragma once

#include <QDialog>
#include <QUrl>
#include <functional>

class QLabel;
class QPushButton;
class QTextBrowser;

namespace vx {

class TAboutBox : public QDialog {
    Q_OBJECT
public:
    static const QString VersionText;    // "Version 4.1"
    static const QString SupportCaption; // "Contact Support Department"

    // AOpenUrl opens a link with the system's default handler (browser, mail program).
    TAboutBox(const QUrl& AWebPage, const QString& ASupportMail, std::function<void(const QUrl&)> AOpenUrl,
              QWidget* AParent = nullptr);

    QLabel* LabelName = nullptr;
    QLabel* LabelVersion = nullptr;
    QLabel* LabelWebPage = nullptr;
    QLabel* LabelSupport = nullptr;
    QTextBrowser* TextCredits = nullptr; // read again each time the box is shown
    QPushButton* ButtonOK = nullptr;

protected:
    void showEvent(QShowEvent* AEvent) override;

private:
    void ShowCredits();
    void FitOnScreen();

    std::function<void(const QUrl&)> FOpenUrl;
};

} // namespace vx
