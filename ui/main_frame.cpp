#include "ui/main_frame.h"
#include "ui/dialog_util.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QPrinter>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <QWhatsThis>

#include "store/capture_file.h"
#include "store/text_export.h"
#include "ui/app.h"
#include "ui/child_frame.h"
#include "ui/document.h"
#include "ui/info_window.h"
#include "ui/dump_view.h"
#include "ui/list_view.h"
#include "ui/print_layout.h"
#include "ui/tree_view.h"
#include "zelpan_version.h"

namespace zelpan {

namespace {

const char* const CAPTURE_FILTER_TEXT = "Zelpan ﾌｧｲﾙ (*.zlc);;全てのﾌｧｲﾙ (*.*)";
const char* const TEXT_FILTER_TEXT = "ﾃｷｽﾄ ﾌｧｲﾙ (*.txt);;全てのﾌｧｲﾙ (*.*)";
const char* const NO_FRAMES_TEXT = "保存するﾌﾚｰﾑﾃﾞｰﾀがありません。  ";
const char* const NO_MARKED_TEXT = "ﾏｰｸしたﾌﾚｰﾑﾃﾞｰﾀがありません。  \n全ﾌﾚｰﾑﾃﾞｰﾀを保存しますか？  ";
const char* const NOT_CAPTURE_TEXT = "zelpanで解釈できないﾌｧｲﾙ形式です。 ";
const char* const SAVE_CHANGES_TEXT = "%1 への変更を保存しますか?";
const char* const TOO_MANY_WINDOWS_TEXT = "これ以上ｳｨﾝﾄﾞｳを開けません。  ";

std::string native(const QString& path) { return QFile::encodeName(path).toStdString(); }
QString from_native(const std::string& s) { return QString::fromUtf8(s.c_str()); }

// Toolbar images, 16 x 15, drawn so that no image file has to ship.
QIcon drawn_icon(Command c) {
    QPixmap p(16, 15);
    p.fill(Qt::transparent);
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing, true);
    const QColor ink(40, 40, 40);
    switch (c) {
    case Command::New:
        g.setPen(ink);
        g.setBrush(Qt::white);
        g.drawPolygon(QPolygon({{3, 1}, {10, 1}, {13, 4}, {13, 14}, {3, 14}}));
        g.drawLine(10, 1, 10, 4);
        g.drawLine(10, 4, 13, 4);
        break;
    case Command::Open:
        g.setPen(ink);
        g.setBrush(QColor(240, 200, 80));
        g.drawPolygon(QPolygon({{1, 3}, {6, 3}, {7, 5}, {14, 5}, {14, 13}, {1, 13}}));
        break;
    case Command::Print:
        g.setPen(ink);
        g.setBrush(Qt::white);
        g.drawRect(4, 1, 8, 5);
        g.setBrush(QColor(190, 190, 190));
        g.drawRect(1, 6, 14, 6);
        g.setBrush(Qt::white);
        g.drawRect(4, 10, 8, 4);
        break;
    case Command::CaptureStart:
        g.setPen(Qt::NoPen);
        g.setBrush(QColor(0, 150, 0));
        g.drawPolygon(QPolygon({{4, 2}, {13, 7}, {4, 12}}));
        break;
    case Command::CaptureStop:
        g.setPen(Qt::NoPen);
        g.setBrush(QColor(200, 0, 0));
        g.drawRect(3, 3, 9, 9);
        break;
    case Command::Statistics:
        g.setPen(Qt::NoPen);
        g.setBrush(QColor(30, 80, 200));
        g.drawRect(2, 8, 3, 6);
        g.drawRect(6, 4, 3, 10);
        g.drawRect(10, 1, 3, 13);
        break;
    case Command::Find:
    case Command::FindNext:
        g.setPen(QPen(ink, 2));
        g.setBrush(Qt::white);
        g.drawEllipse(2, 1, 8, 8);
        g.drawLine(9, 8, 13, 12);
        if (c == Command::FindNext) {
            g.setPen(QPen(QColor(0, 120, 0), 1.5));
            g.drawLine(11, 1, 15, 4);
            g.drawLine(15, 4, 11, 7);
        }
        break;
    case Command::About:
        g.setPen(Qt::NoPen);
        g.setBrush(QColor(30, 80, 200));
        g.drawEllipse(1, 0, 14, 14);
        g.setPen(QPen(Qt::white, 2));
        g.drawLine(8, 6, 8, 11);
        g.drawPoint(8, 3);
        break;
    default:
        break;
    }
    return QIcon(p);
}

}  // namespace

// ---- about box ----

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setObjectName("about");
    setWindowTitle(u8("Zelpanのﾊﾞｰｼﾞｮﾝ情報"));
    auto* icon = new QLabel(this);
    icon->setPixmap(drawn_icon(Command::Statistics).pixmap(32, 30));
    auto* name = new QLabel(QStringLiteral("Zelpan"), this);
    name->setObjectName("product");
    version_ = new QLabel(VersionText(ZELPAN_VERSION_MAJOR, ZELPAN_VERSION_MINOR, ZELPAN_VERSION_PATCH,
                                      ZELPAN_VERSION_TWEAK),
                          this);
    version_->setObjectName("version");
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* texts = new QVBoxLayout;
    texts->addWidget(name);
    texts->addWidget(version_);
    auto* top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addLayout(texts, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(buttons);
}

QString CAboutDlg::versionText() const { return version_->text(); }

// ---- main window ----

CMainFrame::CMainFrame(QWidget* parent) : QMainWindow(parent) {
    setObjectName("main_frame");
    setWindowTitle(QStringLiteral("Zelpan"));
    mdi_ = new QMdiArea(this);
    mdi_->setObjectName("mdi_area");
    mdi_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdi_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(mdi_);
    setAcceptDrops(true);
    if (CZelpanApp* app = CZelpanApp::instance()) {
        app->setMainFrame(this);
        connect(app, &CZelpanApp::recentFilesChanged, this, &CMainFrame::updateRecentFiles);
    }
    capture_timer_ = new QTimer(this);
    capture_timer_->setInterval(500);
    connect(capture_timer_, &QTimer::timeout, this, [this] {
        if (capture_tick_) capture_tick_();
    });
    createActions();
    createMenus();
    createToolBar();
    createStatusBar();
    connect(mdi_, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow* sub) {
        if (CZelpanApp* app = CZelpanApp::instance())
            if (auto* w = sub ? qobject_cast<CChildFrame*>(sub->widget()) : nullptr) app->setCurrentChild(w);
        updateCommandStates();
    });
    // Placement: the desktop less a sixteenth on every side.
    if (QScreen* s = QGuiApplication::primaryScreen()) {
        QRect d = s->availableGeometry();
        setGeometry(d.adjusted(d.width() / 16, d.height() / 16, -d.width() / 16, -d.height() / 16));
    }
    updateRecentFiles();
    // The search and capture commands wire themselves in through setCommandHandler.
    InstallSearchCommands(*this);
    InstallCaptureCommands(*this);
    InstallStatsCommands(*this);
    updateCommandStates();
}

CMainFrame::~CMainFrame() {
    // The documents' windows go before the main window's members, without
    // bringing the commands up to date on the way.
    disconnect(mdi_, nullptr, this, nullptr);
    for (CChildFrame* w : childWindows()) disconnect(w, nullptr, this, nullptr);
    for (QMdiSubWindow* sub : mdi_->subWindowList()) delete sub;
}

QAction* CMainFrame::makeAction(Command c, const char* text, const char* prompt, const QKeySequence& key) {
    auto* a = new QAction(u8(text), this);
    // Prompt and tooltip, as one text split at the line break.
    QStringList parts = u8(prompt).split(QLatin1Char('\n'));
    a->setStatusTip(parts.value(0));
    a->setToolTip(parts.value(1, parts.value(0)));
    if (!key.isEmpty()) a->setShortcut(key);
    a->setIcon(drawn_icon(c));
    a->setIconVisibleInMenu(false);
    actions_[size_t(c)] = a;
    connect(a, &QAction::triggered, this, [this, c] {
        if (handlers_[size_t(c)]) handlers_[size_t(c)]();
    });
    return a;
}

void CMainFrame::createActions() {
    using C = Command;
    makeAction(C::New, "新規作成(&N)", "新規にﾌｧｲﾙを作成\n新規作成", QKeySequence(Qt::CTRL | Qt::Key_N));
    makeAction(C::Open, "開く(&O)...", "既存のﾌｧｲﾙを開く\n開く", QKeySequence(Qt::CTRL | Qt::Key_O));
    makeAction(C::Close, "閉じる(&C)", "作業中のﾌｧｲﾙを閉じる\n閉じる");
    makeAction(C::Save, "上書き保存(&S)", "作業中のﾌｧｲﾙを保存\n上書き保存", QKeySequence(Qt::CTRL | Qt::Key_S));
    makeAction(C::SaveAs, "名前を付けて保存(&A)...", "作業中のﾌｧｲﾙを新しい名前で保存\n名前を付けて保存");
    makeAction(C::SaveMarkedBinary, "ﾊﾞｲﾅﾘｰ形式で保存(&B)...",
               "ﾏｰｸしたﾌﾚｰﾑをｷｬﾌﾟﾁｬｰﾌｧｲﾙ形式で保存\nﾊﾞｲﾅﾘｰ形式で保存");
    makeAction(C::SaveMarkedText, "ﾃｷｽﾄ形式で保存(&T)...", "ﾏｰｸしたﾌﾚｰﾑをﾃｷｽﾄ形式で保存\nﾃｷｽﾄ形式で保存");
    makeAction(C::Print, "印刷(&P)...", "作業中のﾌｧｲﾙを印刷\n印刷", QKeySequence(Qt::CTRL | Qt::Key_P));
    makeAction(C::PrintPreview, "印刷ﾌﾟﾚﾋﾞｭｰ(&V)", "ﾌﾙ ﾍﾟｰｼﾞ表示\n印刷ﾌﾟﾚﾋﾞｭｰ");
    makeAction(C::PrintSetup, "ﾌﾟﾘﾝﾀの設定(&R)...", "ﾌﾟﾘﾝﾀおよび印刷ｵﾌﾟｼｮﾝの変更\n印刷設定");
    makeAction(C::Exit, "ｱﾌﾟﾘｹｰｼｮﾝの終了(&X)", "ｱﾌﾟﾘｹｰｼｮﾝを終了し、ﾌｧｲﾙの保存を指示\n終了");
    makeAction(C::CaptureStart, "開始(&K)...", "ﾌﾚｰﾑのｷｬﾌﾟﾁｬｰを開始する\nｷｬﾌﾟﾁｬｰ開始", QKeySequence(Qt::CTRL | Qt::Key_K));
    makeAction(C::CaptureStop, "停止(&S)", "ﾌﾚｰﾑのｷｬﾌﾟﾁｬｰを停止する\nｷｬﾌﾟﾁｬｰ停止");
    makeAction(C::Statistics, "統計(&T)...", "ﾄﾗﾌｨｯｸの統計情報を表示する\n統計");
    makeAction(C::MarkSelected, "選択ﾌﾚｰﾑをﾏｰｸ(&M)", "選択したﾌﾚｰﾑをﾏｰｸする\nﾏｰｸ", QKeySequence(Qt::CTRL | Qt::Key_M));
    makeAction(C::MarkAll, "全ﾌﾚｰﾑをﾏｰｸ(&A)", "全てのﾌﾚｰﾑをﾏｰｸする\n全ﾌﾚｰﾑをﾏｰｸ");
    makeAction(C::UnmarkAll, "全ﾌﾚｰﾑのﾏｰｸ解除(&U)", "全てのﾌﾚｰﾑのﾏｰｸを解除する\nﾏｰｸ解除");
    makeAction(C::Find, "検索(&F)...", "条件式でﾌﾚｰﾑを検索する\n検索", QKeySequence(Qt::CTRL | Qt::Key_F));
    makeAction(C::FindNext, "次の検索", "同じ条件で次のﾌﾚｰﾑを検索する\n次の検索", QKeySequence(Qt::Key_F3));
    makeAction(C::Jump, "ｼﾞｬﾝﾌﾟ(&G)...", "指定したﾌﾚｰﾑへｼﾞｬﾝﾌﾟする\nｼﾞｬﾝﾌﾟ", QKeySequence(Qt::CTRL | Qt::Key_G));
    makeAction(C::CaptureFilter, "ｷｬﾌﾟﾁｬｰﾌｨﾙﾀｰ(&C)...", "ｷｬﾌﾟﾁｬｰﾌｨﾙﾀｰを編集する\nｷｬﾌﾟﾁｬｰﾌｨﾙﾀｰ");
    makeAction(C::TcpStream, "TCPﾃﾞｰﾀｽﾄﾘｰﾑ(&T)...", "TCPのﾃﾞｰﾀｽﾄﾘｰﾑを表示する\nTCPﾃﾞｰﾀｽﾄﾘｰﾑ",
               QKeySequence(Qt::CTRL | Qt::Key_T));
    makeAction(C::ToolBar, "ﾂｰﾙ ﾊﾞｰ(&T)", "ﾂｰﾙ ﾊﾞｰの表示/非表示\nﾂｰﾙ ﾊﾞｰの表示切り替え");
    makeAction(C::StatusBar, "ｽﾃｰﾀｽ ﾊﾞｰ(&S)", "ｽﾃｰﾀｽ ﾊﾞｰの表示/非表示\nｽﾃｰﾀｽ ﾊﾞｰの表示切り替え");
    makeAction(C::NewWindow, "新しいｳｨﾝﾄﾞｳを開く(&N)", "作業中のｳｨﾝﾄﾞｳを複写して表示\n新しいｳｨﾝﾄﾞｳを開く");
    makeAction(C::Cascade, "重ねて表示(&C)", "ｳｨﾝﾄﾞｳを重ねて配置\n重ねて表示");
    makeAction(C::Tile, "並べて表示(&T)", "ｳｨﾝﾄﾞｳを重ならないように配置\n並べて表示");
    makeAction(C::ArrangeIcons, "ｱｲｺﾝの整列(&A)", "ｱｲｺﾝをｳｨﾝﾄﾞｳの下に整列\nｱｲｺﾝの整列");
    makeAction(C::HelpTopics, "ﾄﾋﾟｯｸの検索(&H)", "ﾍﾙﾌﾟ ﾄﾋﾟｯｸの一覧を表示\nﾍﾙﾌﾟ ﾄﾋﾟｯｸ", QKeySequence(Qt::Key_F1));
    makeAction(C::About, "Zelpan のﾊﾞｰｼﾞｮﾝ情報(&A)...", "ﾌﾟﾛｸﾞﾗﾑ情報、ﾊﾞｰｼﾞｮﾝ、著作権を表示\nﾊﾞｰｼﾞｮﾝ情報");
    makeAction(C::NextPane, "次のﾍﾟｲﾝ", "次のｳｨﾝﾄﾞｳ ﾍﾟｲﾝに切り替え\n次のﾍﾟｲﾝ", QKeySequence(Qt::Key_F6));
    makeAction(C::PreviousPane, "前のﾍﾟｲﾝ", "前のｳｨﾝﾄﾞｳ ﾍﾟｲﾝに切り替え\n前のﾍﾟｲﾝ",
               QKeySequence(Qt::SHIFT | Qt::Key_F6));
    // Context help: the pointer asks what a control is.
    QAction* help = QWhatsThis::createAction(this);
    help->setStatusTip(u8("ｸﾘｯｸしたﾎﾞﾀﾝ、ﾒﾆｭｰ、ｳｨﾝﾄﾞｳのﾍﾙﾌﾟを表示"));
    help->setToolTip(u8("ﾍﾙﾌﾟ"));
    actions_[size_t(C::ContextHelp)] = help;

    auto on = [this](Command c, auto slot) { handlers_[size_t(c)] = [this, slot] { (this->*slot)(); }; };
    on(C::New, &CMainFrame::onFileNew);
    on(C::Open, &CMainFrame::onFileOpen);
    on(C::Save, &CMainFrame::onFileSave);
    on(C::SaveAs, &CMainFrame::onFileSaveAs);
    on(C::SaveMarkedBinary, &CMainFrame::onSaveMarkedBinary);
    on(C::SaveMarkedText, &CMainFrame::onSaveMarkedText);
    on(C::Print, &CMainFrame::onPrint);
    on(C::PrintPreview, &CMainFrame::onPrintPreview);
    on(C::PrintSetup, &CMainFrame::onPrintSetup);
    on(C::About, &CMainFrame::onAbout);
    on(C::MarkSelected, &CMainFrame::onMarkSelected);
    on(C::MarkAll, &CMainFrame::onMarkAll);
    on(C::UnmarkAll, &CMainFrame::onUnmarkAll);
    handlers_[size_t(C::Close)] = [this] {
        if (QMdiSubWindow* s = mdi_->currentSubWindow()) s->close();
    };
    handlers_[size_t(C::Exit)] = [this] { close(); };
    handlers_[size_t(C::NewWindow)] = [this] { openNewWindow(); };
    handlers_[size_t(C::Cascade)] = [this] { mdi_->cascadeSubWindows(); };
    handlers_[size_t(C::Tile)] = [this] { mdi_->tileSubWindows(); };
    handlers_[size_t(C::ArrangeIcons)] = [this] {
        // Minimised windows line up along the bottom of the area.
        int x = 0;
        for (QMdiSubWindow* s : mdi_->subWindowList())
            if (s->isMinimized()) {
                s->move(x, mdi_->viewport()->height() - s->height());
                x += s->width();
            }
    };
    handlers_[size_t(C::NextPane)] = [this] { onNextPane(1); };
    handlers_[size_t(C::PreviousPane)] = [this] { onNextPane(-1); };

    action(C::ToolBar)->setCheckable(true);
    action(C::ToolBar)->setChecked(true);
    action(C::StatusBar)->setCheckable(true);
    action(C::StatusBar)->setChecked(true);
    handlers_[size_t(C::ToolBar)] = [this] { toolbar_->setVisible(action(Command::ToolBar)->isChecked()); };
    handlers_[size_t(C::StatusBar)] = [this] { statusBar()->setVisible(action(Command::StatusBar)->isChecked()); };

    // Shortcuts that have no menu item still need a home.
    for (C c : {C::Save, C::NextPane, C::PreviousPane}) addAction(action(c));
}

void CMainFrame::createMenus() {
    using C = Command;
    file_menu_ = menuBar()->addMenu(u8("ﾌｧｲﾙ(&F)"));
    file_menu_->setObjectName("menu_file");
    file_menu_->addAction(action(C::New));
    file_menu_->addAction(action(C::Open));
    file_menu_->addAction(action(C::Close));
    QAction* s1 = file_menu_->addSeparator();
    file_menu_->addAction(action(C::SaveAs));
    marked_menu_ = file_menu_->addMenu(u8("ﾏｰｸしたﾌﾚｰﾑを保存(&M)"));
    marked_menu_->setObjectName("menu_save_marked");
    marked_menu_->addAction(action(C::SaveMarkedBinary));
    marked_menu_->addAction(action(C::SaveMarkedText));
    QAction* s2 = file_menu_->addSeparator();
    file_menu_->addAction(action(C::Print));
    file_menu_->addAction(action(C::PrintPreview));
    file_menu_->addAction(action(C::PrintSetup));
    recent_separator_ = file_menu_->addSeparator();
    for (int i = 0; i < CZelpanApp::RECENT_FILES; ++i) {
        auto* a = new QAction(this);
        a->setVisible(false);
        connect(a, &QAction::triggered, this, [this, a] {
            QString path = a->data().toString();
            if (!openDocument(path))
                if (CZelpanApp* app = CZelpanApp::instance()) app->removeRecentFile(path);
        });
        recent_actions_.append(a);
        file_menu_->addAction(a);
    }
    file_menu_->addSeparator();
    file_menu_->addAction(action(C::Exit));
    document_only_ = {action(C::Close), s1, action(C::SaveAs), marked_menu_->menuAction(), s2,
                      action(C::Print), action(C::PrintPreview)};

    capture_menu_ = menuBar()->addMenu(u8("ｷｬﾌﾟﾁｬｰ(&C)"));
    capture_menu_->setObjectName("menu_capture");
    for (C c : {C::CaptureStart, C::CaptureStop, C::Statistics}) capture_menu_->addAction(action(c));

    edit_menu_ = menuBar()->addMenu(u8("編集(&E)"));
    edit_menu_->setObjectName("menu_edit");
    for (C c : {C::MarkSelected, C::MarkAll, C::UnmarkAll}) edit_menu_->addAction(action(c));
    edit_menu_->addSeparator();
    for (C c : {C::Find, C::FindNext, C::Jump}) edit_menu_->addAction(action(c));
    edit_menu_->addSeparator();
    for (C c : {C::CaptureFilter, C::TcpStream}) edit_menu_->addAction(action(c));

    QMenu* view = menuBar()->addMenu(u8("表示(&V)"));
    view->setObjectName("menu_view");
    view->addAction(action(C::ToolBar));
    view->addAction(action(C::StatusBar));

    window_menu_ = menuBar()->addMenu(u8("ｳｨﾝﾄﾞｳ(&W)"));
    window_menu_->setObjectName("menu_window");
    connect(window_menu_, &QMenu::aboutToShow, this, [this] {
        window_menu_->clear();
        for (C c : {C::NewWindow, C::Cascade, C::Tile, C::ArrangeIcons}) window_menu_->addAction(action(c));
        QList<QMdiSubWindow*> subs = mdi_->subWindowList();
        if (!subs.isEmpty()) window_menu_->addSeparator();
        for (qsizetype i = 0; i < subs.size() && i < 9; ++i) {
            QMdiSubWindow* s = subs[i];
            auto* w = qobject_cast<CChildFrame*>(s->widget());
            QAction* a = window_menu_->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(w ? w->title() : QString()));
            a->setCheckable(true);
            a->setChecked(s == mdi_->currentSubWindow());
            connect(a, &QAction::triggered, this, [this, s] { mdi_->setActiveSubWindow(s); });
        }
    });
    for (C c : {C::NewWindow, C::Cascade, C::Tile, C::ArrangeIcons}) window_menu_->addAction(action(c));

    QMenu* help = menuBar()->addMenu(u8("ﾍﾙﾌﾟ(&H)"));
    help->setObjectName("menu_help");
    help->addAction(action(C::HelpTopics));
    help->addSeparator();
    help->addAction(action(C::About));
}

void CMainFrame::createToolBar() {
    using C = Command;
    toolbar_ = addToolBar(QStringLiteral("Zelpan"));
    toolbar_->setObjectName("toolbar");
    toolbar_->setIconSize(QSize(16, 15));
    toolbar_->setMovable(true);
    toolbar_->setFloatable(true);
    toolbar_->setAllowedAreas(Qt::AllToolBarAreas);
    for (C c : {C::New, C::Open}) toolbar_->addAction(action(c));
    toolbar_->addSeparator();
    toolbar_->addAction(action(C::Print));
    toolbar_->addSeparator();
    for (C c : {C::CaptureStart, C::CaptureStop, C::Statistics}) toolbar_->addAction(action(c));
    toolbar_->addSeparator();
    for (C c : {C::Find, C::FindNext}) toolbar_->addAction(action(c));
    toolbar_->addSeparator();
    for (C c : {C::About, C::ContextHelp}) toolbar_->addAction(action(c));
    connect(toolbar_, &QToolBar::visibilityChanged, this,
            [this](bool on) { action(Command::ToolBar)->setChecked(on); });
}

void CMainFrame::createStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setObjectName("status_bar");
    // The idle text comes back whenever a command's prompt goes away.
    auto* idle = new QLabel(u8("ﾚﾃﾞｨ"), bar);
    idle->setObjectName("idle_message");
    bar->addWidget(idle, 1);
    // Qt cannot read the lock keys' states, so the indicators stay greyed.
    for (const char* name : {"ｶﾅ", "CAP", "NUM", "SCRL"}) {
        auto* l = new QLabel(u8(name), bar);
        l->setObjectName(QStringLiteral("indicator_") + u8(name));
        l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        l->setEnabled(false);
        bar->addPermanentWidget(l);
    }
}

QMenu* CMainFrame::menu(const QString& name) const { return findChild<QMenu*>(name); }

void CMainFrame::updateRecentFiles() {
    CZelpanApp* app = CZelpanApp::instance();
    QStringList files = app ? app->recentFiles() : QStringList();
    for (int i = 0; i < recent_actions_.size(); ++i) {
        QAction* a = recent_actions_[i];
        if (i < files.size()) {
            a->setText(QStringLiteral("&%1 %2").arg(i + 1).arg(files[i]));
            a->setData(files[i]);
            a->setVisible(true);
        } else {
            a->setVisible(false);
        }
    }
    if (recent_separator_) recent_separator_->setVisible(!files.isEmpty());
}

void CMainFrame::setCommandHandler(Command c, std::function<void()> handler, std::function<bool()> enabled) {
    handlers_[size_t(c)] = std::move(handler);
    enabled_[size_t(c)] = std::move(enabled);
    updateCommandStates();
}

CChildFrame* CMainFrame::activeChild() const {
    QMdiSubWindow* s = mdi_->currentSubWindow();
    if (!s) s = mdi_->activeSubWindow();
    return s ? qobject_cast<CChildFrame*>(s->widget()) : nullptr;
}

QList<CChildFrame*> CMainFrame::childWindows() const {
    QList<CChildFrame*> out;
    for (QMdiSubWindow* s : mdi_->subWindowList())
        if (auto* w = qobject_cast<CChildFrame*>(s->widget())) out.append(w);
    return out;
}

void CMainFrame::updateCommandStates() {
    using C = Command;
    CZelpanApp* app = CZelpanApp::instance();
    const bool capture = app && app->captureRunning();
    CChildFrame* w = activeChild();
    const bool rows = w && w->row_count() > 0;
    auto set = [this](C c, bool on) {
        if (QAction* a = action(c)) a->setEnabled(on);
    };
    set(C::New, true);
    set(C::Open, !capture);
    for (QAction* a : recent_actions_) a->setEnabled(!capture);
    set(C::Close, w != nullptr);
    for (C c : {C::Save, C::SaveAs, C::SaveMarkedBinary, C::SaveMarkedText}) set(c, w && !capture && rows);
    // A page layout needs the column widths of the whole list.
    for (C c : {C::Print, C::PrintPreview}) set(c, w && !capture && rows && !w->filling());
    set(C::PrintSetup, !capture);
    set(C::Exit, true);
    for (C c : {C::MarkSelected, C::MarkAll, C::UnmarkAll}) set(c, rows && !capture && !w->filling());
    for (C c : {C::Cascade, C::Tile, C::ArrangeIcons, C::NextPane, C::PreviousPane}) set(c, w != nullptr);
    // A second window copies the store, which the capture thread is writing.
    set(C::NewWindow, w != nullptr && !w->captureTarget());
    set(C::HelpTopics, false);
    set(C::About, true);
    // Commands of later work: disabled until wired with a handler and a rule.
    for (C c : {C::CaptureStart, C::CaptureStop, C::Statistics, C::Find, C::FindNext, C::Jump, C::CaptureFilter,
                C::TcpStream})
        set(c, handlers_[size_t(c)] && enabled_[size_t(c)] && enabled_[size_t(c)]());

    // With no document the menus are those of an empty main window.
    const bool documents = !mdi_->subWindowList().isEmpty();
    for (QAction* a : document_only_) a->setVisible(documents);
    for (QMenu* m : {capture_menu_, edit_menu_, window_menu_}) m->menuAction()->setVisible(documents);
}

// ---- documents ----

void CMainFrame::information(const QString& text) {
    CZelpanApp* app = CZelpanApp::instance();
    if (app && app->hooks().information) app->hooks().information(this, text);
}

CChildFrame* CMainFrame::createWindow(CZelpanDoc* doc) {
    auto* w = new CChildFrame(doc);
    if (!w->registered()) {
        delete w;
        information(u8(TOO_MANY_WINDOWS_TEXT));
        return nullptr;
    }
    connect(w, &CChildFrame::commandStatesChanged, this, [this](CChildFrame* from) {
        if (from == activeChild()) updateCommandStates();
    });
    connect(w, &QObject::destroyed, this, [this] { QTimer::singleShot(0, this, &CMainFrame::updateCommandStates); });
    return w;
}

QMdiSubWindow* CMainFrame::addChild(CChildFrame* w) {
    QMdiSubWindow* sub = mdi_->addSubWindow(w);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    QSize area = mdi_->viewport()->size();
    if (area.width() < 200 || area.height() < 150) area = mdi_->size();
    sub->resize(area.width() * 3 / 4, area.height() * 3 / 4);
    w->updateTitle();
    sub->show();
    w->arrangePanes(w->height());
    mdi_->setActiveSubWindow(sub);
    if (CZelpanApp* app = CZelpanApp::instance()) app->setCurrentChild(w);
    updateCommandStates();
    return sub;
}

CChildFrame* CMainFrame::newDocument() {
    auto* doc = new CZelpanDoc(this);
    doc->setUntitled();
    CChildFrame* w = createWindow(doc);
    if (!w) {
        delete doc;
        return nullptr;
    }
    addChild(w);
    return w;
}

CChildFrame* CMainFrame::openDocument(const QString& path) {
    // Nothing is loaded while a capture runs (dropped files, recent files included).
    if (CZelpanApp* app = CZelpanApp::instance(); app && app->captureRunning()) return nullptr;
    const std::string p = native(path);
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        information(QString::asprintf("%s can't opened.  ", p.c_str()));
        return nullptr;
    }
    const int64_t length = f.size();
    f.close();
    CaptureKind kind = IdentifyCaptureFile(p);
    if (kind == CaptureKind::NotCapture) {
        information(u8(NOT_CAPTURE_TEXT));
        return nullptr;
    }
    int64_t size = CaptureFileLoadSize(p, kind, length);
    if (size <= 0) {
        // Unreadable after all: say so rather than do nothing.
        information(QString::asprintf("ERROR : %s can't readed.  ", p.c_str()));
        return nullptr;
    }
    // A document already open is brought to the front instead of loaded twice.
    const QString full = QFileInfo(path).absoluteFilePath();
    for (CChildFrame* w : childWindows())
        if (w->document() && w->document()->path() == full) {
            if (w->subWindow()) mdi_->setActiveSubWindow(w->subWindow());
            return w;
        }
    auto* doc = new CZelpanDoc(this);
    doc->setPath(path);
    doc->setOtherForm(kind != CaptureKind::Pcap && kind != CaptureKind::Legacy1 && kind != CaptureKind::Legacy2);
    CChildFrame* w = createWindow(doc);
    if (!w) {
        delete doc;
        return nullptr;
    }
    std::string notice;
    std::string message = w->loadFile(p, kind, size, &notice);
    if (!message.empty() || !w->store().present()) {
        if (!message.empty()) information(from_native(message));
        delete w;  // the document goes with its last window
        return nullptr;
    }
    addChild(w);
    w->ShowBusy();
    w->listView()->FillFromStore();
    // A file read only in part (frames of other link types, a damaged block)
    // still opens; the information window says what was left out.
    if (!notice.empty()) ShowMessage(from_native(notice));
    if (CZelpanApp* app = CZelpanApp::instance()) app->addRecentFile(path);
    updateCommandStates();
    return w;
}

void CMainFrame::openFiles(const QStringList& paths) {
    for (const QString& p : paths) openDocument(p);
}

void CMainFrame::onFileNew() { newDocument(); }

void CMainFrame::onFileOpen() {
    CZelpanApp* app = CZelpanApp::instance();
    if (!app || app->captureRunning()) return;
    QStringList files =
        app->hooks().open_files(this, QString::fromStdString(app->startupDirectory()), u8(CAPTURE_FILTER_TEXT));
    openFiles(files);
}

bool CMainFrame::saveDocument(CChildFrame* w, const QString& path, bool marked_only) {
    if (!w || !w->listView()) return false;
    if (w->row_count() == 0) {
        information(u8(NO_FRAMES_TEXT));
        return false;
    }
    DecodeContext* previous = current_context();
    make_current(&w->context());
    std::string message = WriteCaptureFile(native(path), w->store(), w->context().link_type, marked_only);
    make_current(previous);
    if (!message.empty()) {
        information(from_native(message));
        return false;
    }
    if (w->document()) w->document()->setModified(false);
    return true;
}

void CMainFrame::onFileSave() {
    CChildFrame* w = activeChild();
    if (!w || !w->document()) return;
    if (w->document()->path().isEmpty() || w->document()->otherForm()) {
        onFileSaveAs();
        return;
    }
    saveDocument(w, w->document()->path());
}

void CMainFrame::onFileSaveAs() {
    CChildFrame* w = activeChild();
    CZelpanApp* app = CZelpanApp::instance();
    if (!w || !app || !w->document()) return;
    QString path = app->hooks().save_file(this, w->document()->title(), QStringLiteral("zlc"), u8(CAPTURE_FILTER_TEXT));
    if (path.isEmpty()) return;
    if (saveDocument(w, path)) {
        w->document()->setPath(path);
        w->document()->setOtherForm(false);
        app->addRecentFile(path);
    }
}

int CMainFrame::saveMarkedCheck(CChildFrame* w) {
    CZelpanApp* app = CZelpanApp::instance();
    if (!w || !w->listView() || !app) return -1;
    if (w->row_count() == 0) {
        information(u8(NO_FRAMES_TEXT));
        return -1;
    }
    if (!w->store().present()) return -1;
    if (CountMarkedFrames(w->store()) > 0) return 1;
    return app->hooks().yes_no(this, u8(NO_MARKED_TEXT)) == UiHooks::No ? -1 : 0;
}

QString CMainFrame::textFileName(const QString& title) {
    qsizetype dot = title.lastIndexOf(QLatin1Char('.'));
    if (dot >= 1) return title.left(dot) + QStringLiteral(".txt");
    return title;
}

void CMainFrame::onSaveMarkedBinary() {
    CChildFrame* w = activeChild();
    int decision = saveMarkedCheck(w);
    if (decision < 0) return;
    QString path =
        CZelpanApp::instance()->hooks().save_file(this, w->title(), QStringLiteral("zlc"), u8(CAPTURE_FILTER_TEXT));
    if (path.isEmpty()) return;
    saveDocument(w, path, decision == 1);
}

void CMainFrame::onSaveMarkedText() {
    CChildFrame* w = activeChild();
    int decision = saveMarkedCheck(w);
    if (decision < 0) return;
    QString path = CZelpanApp::instance()->hooks().save_file(this, textFileName(w->title()), QStringLiteral("txt"),
                                                             u8(TEXT_FILTER_TEXT));
    if (path.isEmpty() || !w->store().present()) return;
    w->ShowBusy();
    DecodeContext* previous = current_context();
    make_current(&w->context());
    std::string message = ExportFramesAsText(native(path), w->store(), decision == 1);
    make_current(previous);
    w->HideBusy();
    if (!message.empty()) information(from_native(message));
}

bool CMainFrame::saveModified(CChildFrame* w) {
    CZelpanApp* app = CZelpanApp::instance();
    if (!w || !w->document() || !app) return true;
    UiHooks::Answer a = app->hooks().save_changes(w, u8(SAVE_CHANGES_TEXT).arg(w->document()->title()));
    if (a == UiHooks::Cancel) return false;
    if (a == UiHooks::No) return true;
    QString path = w->document()->otherForm() ? QString() : w->document()->path();
    if (path.isEmpty()) {
        path = app->hooks().save_file(this, w->document()->title(), QStringLiteral("zlc"), u8(CAPTURE_FILTER_TEXT));
        if (path.isEmpty()) return false;
    }
    if (!saveDocument(w, path)) return false;
    if (path != w->document()->path()) w->document()->setPath(path);
    w->document()->setOtherForm(false);
    return true;
}

CChildFrame* CMainFrame::openNewWindow() {
    CChildFrame* source = activeChild();
    if (!source || !source->listView() || source->row_count() == 0 || source->captureTarget()) return nullptr;
    CChildFrame* w = createWindow(source->document());
    if (!w) return nullptr;
    addChild(w);
    if (w->row_count() == 0 && source->store().capacity() != 0) {
        w->ShowBusy();
        if (!w->copyStoreFrom(*source)) {
            w->HideBusy();
            information(QString::asprintf("ERROR : Memory for %s can't allocated.  ",
                                          native(source->title()).c_str()));
            w->subWindow()->close();
            return nullptr;
        }
        w->listView()->FillFromStore();
    }
    updateCommandStates();
    return w;
}

// ---- marks ----

void CMainFrame::onMarkSelected() {
    if (CChildFrame* w = activeChild()) w->markSelectedFrames();
}
void CMainFrame::onMarkAll() {
    if (CChildFrame* w = activeChild()) w->markAllFrames();
}
void CMainFrame::onUnmarkAll() {
    if (CChildFrame* w = activeChild()) w->unmarkAllFrames();
}

// ---- printing ----

PrintLayout CMainFrame::printLayout(CChildFrame* w, const QPrinter* printer) const {
    int width = 2100, height = 2970;
    if (printer) PrinterPaper(*printer, width, height);
    int rows = w ? w->row_count() : 0;
    int32_t none[COLUMN_COUNT] = {};
    const int32_t* widths = w ? w->context().column_widths : none;
    int list_width = 0, list_height = 0;
    if (w) {
        list_width = w->listView()->horizontalHeader()->length();
        list_height = int(std::min<int64_t>(int64_t(rows) * w->listView()->verticalHeader()->defaultSectionSize(),
                                            INT32_MAX));
    }
    return ComputePrintLayout(width, height, 13, rows, widths, list_width, list_height);
}

int CMainFrame::printTo(CChildFrame* w, QPrinter& printer) {
    if (!w || w->row_count() == 0) return 0;
    return PrintFrameList(printer, printLayout(w, &printer), w->title(), *w->listView()->frameModel());
}

void CMainFrame::onPrint() {
    CChildFrame* w = activeChild();
    CZelpanApp* app = CZelpanApp::instance();
    if (!w || !app) return;
    QPrinter& printer = app->printer();
    PrintLayout l = printLayout(w, &printer);
    printer.setFromTo(1, l.pages);
    if (!app->hooks().print_dialog(this, printer)) return;
    printTo(w, printer);
}

void CMainFrame::onPrintPreview() {
    CChildFrame* w = activeChild();
    CZelpanApp* app = CZelpanApp::instance();
    if (!w || !app) return;
    app->hooks().preview(this, app->printer(), [this, w](QPrinter* p) { printTo(w, *p); });
}

void CMainFrame::onPrintSetup() {
    if (CZelpanApp* app = CZelpanApp::instance()) app->hooks().page_setup(this, app->printer());
}

void CMainFrame::setCaptureTick(std::function<void()> tick) { capture_tick_ = std::move(tick); }

void CMainFrame::startCaptureTimer() { capture_timer_->start(); }

void CMainFrame::stopCaptureTimer() { capture_timer_->stop(); }

void CMainFrame::onAbout() {
    CAboutDlg d(this);
    d.exec();
}

void CMainFrame::onNextPane(int step) {
    CChildFrame* w = activeChild();
    if (!w) return;
    QWidget* panes[3] = {w->listView(), w->treeView(), w->dumpView()};
    int at = 0;
    QWidget* f = QApplication::focusWidget();
    for (int i = 0; i < 3; ++i)
        if (f && (f == panes[i] || panes[i]->isAncestorOf(f))) at = i;
    panes[(at + step + 3) % 3]->setFocus(Qt::TabFocusReason);
}

// ---- window ----

void CMainFrame::closeEvent(QCloseEvent* event) {
    for (QMdiSubWindow* s : mdi_->subWindowList())
        if (!s->close()) {
            event->ignore();
            return;
        }
    event->accept();
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* event) {
    QStringList files;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile()) files << url.toLocalFile();
    if (files.isEmpty()) return;
    event->acceptProposedAction();
    activateWindow();
    openFiles(files);
}

}  // namespace zelpan
