// The about box: the program's name and version, the maker's web page and a way to write to
// the support department.
#pragma once

#include <QDialog>
#include <QUrl>
#include <functional>

class QLabel;
class QPushButton;

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
    QPushButton* ButtonOK = nullptr;

private:
    std::function<void(const QUrl&)> FOpenUrl;
};

} // namespace vx
