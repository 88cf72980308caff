// The main window's file dialogs and the folders they open in.
#include "MainWindow.h"

#include "SourceFileFilters.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace vx {

namespace {

// AFolder where it still exists, otherwise the home folder.
QString ExistingOrHome(const QString& AFolder) {
    return !AFolder.isEmpty() && QFileInfo(AFolder).isDir() ? AFolder : QDir::homePath();
}

} // namespace

void TMainWindow::ConfigureOpenDialog(QFileDialog& ADialog) const {
    ADialog.setFileMode(QFileDialog::ExistingFiles);
    // Qt's own dialog shows the filter descriptions exactly as written; a native one would cut
    // them at their first "(".
    ADialog.setOptions(QFileDialog::HideNameFilterDetails | QFileDialog::DontUseNativeDialog);
    ADialog.setNameFilters(OpenDialogNameFilters());
    ADialog.setDirectory(ExistingOrHome(Settings.SourceFolder()));
}

QStringList TMainWindow::ExecuteOpenDialog() {
    QFileDialog dialog(this);
    ConfigureOpenDialog(dialog);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles();
}

void TMainWindow::RememberSourceFolder(const QStringList& AFiles) {
    if (!AFiles.isEmpty())
        Settings.SetSourceFolder(QFileInfo(AFiles.first()).absolutePath());
}

void TMainWindow::ConfigureFolderBrowser(QFileDialog& ADialog) const {
    ADialog.setWindowTitle(FolderBrowserHeadline);
    ADialog.setFileMode(QFileDialog::Directory);
    ADialog.setOption(QFileDialog::ShowDirsOnly);
    ADialog.setDirectory(ExistingOrHome(Settings.OutputFolder()));
}

bool TMainWindow::ExecuteFolderBrowser(QString& AFolder) {
    QFileDialog dialog(this);
    ConfigureFolderBrowser(dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    AFolder = dialog.selectedFiles().first();
    return !AFolder.isEmpty();
}

} // namespace vx
