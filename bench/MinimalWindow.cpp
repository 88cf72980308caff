// The yardstick for the window's start: a main window built from the same kinds of widgets as
// the program's own (menus, a tool bar, the list, group boxes of drop-down lists, sliders, a
// progress bar, a black native panel, a status bar), with nothing behind them: no media
// libraries, no settings, no lists to fill.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QStyle>
#include <QTableView>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

QGroupBox* GroupOfLists(const QString& ATitle, int ALists, Qt::Orientation ASlider, QWidget* AParent) {
    auto* group = new QGroupBox(ATitle, AParent);
    auto* grid = new QGridLayout(group);
    for (int row = 0; row < ALists; ++row) {
        auto* combo = new QComboBox(group);
        combo->addItems({"Auto", "320x240", "640x480", "1280x720", "1920x1080"});
        grid->addWidget(new QLabel(QStringLiteral("Setting %1 :").arg(row + 1), group), row, 0);
        grid->addWidget(combo, row, 1);
    }
    auto* slider = new QSlider(ASlider, group);
    slider->setRange(0, 8);
    grid->addWidget(slider, ALists, 0, 1, 2);
    return group;
}

QWidget* ToolBar(QMainWindow* AWindow) {
    auto* bar = new QToolBar(AWindow);
    const QStyle::StandardPixmap icons[] = {QStyle::SP_FileIcon, QStyle::SP_TrashIcon,
                                            QStyle::SP_DialogResetButton, QStyle::SP_MediaStop,
                                            QStyle::SP_MediaPlay};
    for (const QStyle::StandardPixmap icon : icons) {
        auto* button = new QToolButton(bar);
        button->setIcon(AWindow->style()->standardIcon(icon));
        button->setText("Button");
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        bar->addWidget(button);
    }
    return bar;
}

QWidget* Choosers(QWidget* AParent) {
    auto* panel = new QWidget(AParent);
    auto* layout = new QHBoxLayout(panel);
    layout->addWidget(new QLabel("Output Folder :", panel));
    layout->addWidget(new QLineEdit(QDir::homePath(), panel));
    layout->addWidget(new QToolButton(panel));
    auto* format = new QComboBox(panel);
    format->addItems({"MP4", "AVI", "MKV", "MP3"});
    layout->addWidget(format, 1);
    return panel;
}

QWidget* List(QWidget* AParent) {
    auto* model = new QStandardItemModel(0, 6, AParent);
    model->setHorizontalHeaderLabels({"File", "Duration", "Size", "Output", "Progress", "Folder"});
    auto* view = new QTableView(AParent);
    view->setModel(model);
    view->verticalHeader()->hide();
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    return view;
}

QWidget* LowerPanel(QWidget* AParent) {
    auto* panel = new QWidget(AParent);
    auto* groups = new QHBoxLayout;
    groups->addWidget(GroupOfLists("Video Settings", 3, Qt::Horizontal, panel));
    groups->addWidget(GroupOfLists("Audio Settings", 2, Qt::Horizontal, panel));
    QGroupBox* hidden[] = {GroupOfLists("Video Settings", 4, Qt::Horizontal, panel),
                           GroupOfLists("Audio Settings", 4, Qt::Vertical, panel)};
    for (QGroupBox* group : hidden) {
        groups->addWidget(group);
        group->hide();
    }
    auto* progress = new QHBoxLayout;
    progress->addWidget(new QProgressBar(panel), 1);
    progress->addWidget(new QPushButton("Stop", panel));
    auto* left = new QVBoxLayout;
    left->addLayout(groups, 1);
    left->addLayout(progress);

    // The preview area: a native window of its own, as a player needs, kept black.
    auto* preview = new QWidget(panel);
    preview->setAttribute(Qt::WA_NativeWindow);
    preview->setFixedSize(160, 120);
    preview->setAutoFillBackground(true);
    QPalette black = preview->palette();
    black.setColor(QPalette::Window, Qt::black);
    preview->setPalette(black);

    auto* layout = new QHBoxLayout(panel);
    layout->addLayout(left, 1);
    layout->addWidget(preview);
    return panel;
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle("Minimal window");
    const char* menus[] = {"&File", "&Options", "&View", "&Help"};
    for (const char* title : menus) {
        QMenu* menu = window.menuBar()->addMenu(title);
        for (int i = 0; i < 3; ++i)
            menu->addAction(QStringLiteral("Action %1").arg(i + 1));
    }
    auto* central = new QWidget(&window);
    auto* layout = new QVBoxLayout(central);
    layout->addWidget(ToolBar(&window));
    layout->addWidget(Choosers(central));
    layout->addWidget(List(central), 1);
    layout->addWidget(LowerPanel(central));
    window.setCentralWidget(central);
    for (int width : {150, 300, 50}) {
        auto* label = new QLabel("Ready", &window);
        label->setFixedWidth(width);
        window.statusBar()->addWidget(label);
    }
    window.resize(760, 540);
    window.show();
    return app.exec();
}
