// The search, condition editor, capture filter editor and jump dialogs, driven
// through their real widgets on the offscreen platform. Message boxes are
// answered by a recorder instead of blocking.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "condition/search.h"
#include "ui/condition_edit_dialog.h"
#include "tests/support.h"
#include "ui/filter_edit_dialog.h"
#include "ui/jump_dialog.h"
#include "ui/search_dialog.h"

using namespace zelpan;

namespace {

void ensure_app() {
    if (QApplication::instance()) return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "zelpan_gui_tests";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);  // lives until the process ends
}

// Lets deleteLater() of closed dialogs happen.
void settle() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

struct Messages {
    std::vector<std::string> texts;
    MessageBoxHook hook() {
        return [this](QWidget*, const QString& t) { texts.push_back(t.toStdString()); };
    }
    std::string last() const { return texts.empty() ? "" : texts.back(); }
};

std::string read_file(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

void write_file(const std::string& path, const std::string& content) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << content;
}

std::string lines(const std::vector<std::string>& texts) {
    std::string s;
    for (const std::string& t : texts) s += "\"" + t + "\"\r\n";
    return s;
}

template <class T>
T* child(QObject* parent, const char* name) {
    T* c = parent->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(c, nullptr) << name;
    return c;
}

void click(QObject* parent, const char* name) {
    if (auto* b = child<QAbstractButton>(parent, name)) b->click();
}

QString u(const char* text) { return QString::fromUtf8(text); }

class SearchDialogsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ensure_app();
        char pattern[] = "/tmp/zelpan-dlg-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override {
        settle();
        std::string cmd = "rm -rf '" + dir + "'";
        EXPECT_EQ(std::system(cmd.c_str()), 0);
    }
    std::string findfil() const { return SearchExpressionPath(dir); }
    std::string capfil() const { return CaptureFilterPath(dir); }

    std::string dir;
    Messages messages;
};

// ---- frames for searches and jumps ----

// rows frames to port 9, those at hits to port 7; marks set before the window exists.
struct Window {
    FrameStore store;
    DecodeContext context;
    std::unique_ptr<HeadlessSearchWindow> w;
    Window(int rows, std::vector<int> hits, std::vector<int> marks = {}) {
        store.allocate(1 << 16);
        for (int i = 0; i < rows; ++i) {
            bool hit = std::find(hits.begin(), hits.end(), i) != hits.end();
            std::vector<uint8_t> f = zt::udp_to(hit ? 7 : 9);
            store.append(1700000000, uint32_t(i), f.data(), uint32_t(f.size()));
        }
        for (int m : marks) store.set_marked(uint32_t(m), true);
        w = std::make_unique<HeadlessSearchWindow>(store, context, "cap.zlc");
    }
};

const std::vector<std::string> EXPRESSIONS = {"tcp", "udp[2:2] == 7", "ip[0:1] == 4"};

}  // namespace

// ---- search dialog ----

TEST_F(SearchDialogsTest, SearchDialogRestoresAgainstTheListInMemory) {
    write_file(findfil(), lines(EXPRESSIONS));
    SearchExpressionList list = EXPRESSIONS;
    SearchSettings s;
    std::snprintf(s.expression1, sizeof s.expression1, "%s", "udp[2:2] == 7");
    std::snprintf(s.expression2, sizeof s.expression2, "%s", "gone[0:1] == 1");
    s.negate1 = 1;
    s.negate2 = 1;
    s.operation = 2;
    s.direction = 0;
    s.mark_while_searching = 1;

    QPointer<CSearchDlg> d = new CSearchDlg(s, list, dir, nullptr, {messages.hook(), {}, {}});
    auto* rows = child<QListWidget>(d, "expressions");
    ASSERT_EQ(rows->count(), 3);
    EXPECT_EQ(rows->currentRow(), 0);
    SearchDialogState st = d->state();
    EXPECT_EQ(st.expression1, "udp[2:2] == 7");
    EXPECT_TRUE(st.negate1);
    EXPECT_EQ(st.expression2, "");  // no longer a row: it goes with its negate and the operation
    EXPECT_FALSE(st.negate2);
    EXPECT_TRUE(child<QRadioButton>(d, "operation_none")->isChecked());
    EXPECT_TRUE(child<QRadioButton>(d, "up")->isChecked());
    EXPECT_TRUE(st.mark_while_searching);
    d->close();

    // An empty list in memory resets everything; then the file fills the list.
    SearchExpressionList empty;
    d = new CSearchDlg(s, empty, dir, nullptr, {messages.hook(), {}, {}});
    EXPECT_EQ(d->state().expression1, "");
    EXPECT_FALSE(child<QRadioButton>(d, "up")->isChecked());
    EXPECT_FALSE(child<QRadioButton>(d, "down")->isChecked());
    EXPECT_EQ(empty.size(), 3u);
    d->close();
}

TEST_F(SearchDialogsTest, SearchDialogControlInterplay) {
    write_file(findfil(), lines(EXPRESSIONS));
    SearchExpressionList list;
    SearchSettings s;
    QPointer<CSearchDlg> d = new CSearchDlg(s, list, dir, nullptr, {messages.hook(), {}, {}});
    auto* rows = child<QListWidget>(d, "expressions");

    rows->setCurrentRow(1);
    click(d, "take1");
    EXPECT_EQ(d->state().expression1, "udp[2:2] == 7");

    rows->setCurrentRow(2);
    click(d, "take2");  // no operation chosen yet
    EXPECT_EQ(messages.last(), "先に式の論理演算を設定してください。  ");
    EXPECT_EQ(d->state().expression2, "");
    click(d, "operation_and");
    click(d, "take2");
    EXPECT_EQ(d->state().expression2, "ip[0:1] == 4");
    EXPECT_EQ(d->state().operation, 1);
    click(d, "operation_none");
    EXPECT_EQ(d->state().expression2, "");
    EXPECT_EQ(d->state().operation, 0);

    struct Step {
        const char* control;
        bool mark_while, mark_finish;
        int direction;
    };
    const Step steps[] = {
        {"down", false, false, 1},           {"mark_while", true, false, 1},
        {"mark_and_finish", false, true, -1}, {"mark_while", true, false, -1},
        {"mark_and_finish", false, true, -1}, {"up", false, false, 0},
    };
    for (const Step& step : steps) {
        click(d, step.control);
        SearchDialogState st = d->state();
        EXPECT_EQ(st.mark_while_searching, step.mark_while) << step.control;
        EXPECT_EQ(st.mark_all_and_finish, step.mark_finish) << step.control;
        EXPECT_EQ(st.direction, step.direction) << step.control;
    }
    d->close();
}

TEST_F(SearchDialogsTest, SearchDialogValidationAndConfirm) {
    std::string long1 = "ip[0:1] == 0x" + std::string(238, '0');  // 251 characters
    std::string long2 = "ip[0:1] == 0x" + std::string(237, '0');  // 250
    write_file(findfil(), lines({"tcp", "udp[2:2] == 7", "nosuch", long1, long2}));
    SearchExpressionList list;
    SearchSettings s;
    QPointer<CSearchDlg> d = new CSearchDlg(s, list, dir, nullptr, {messages.hook(), {}, {}});
    auto* rows = child<QListWidget>(d, "expressions");
    auto take = [&](int row, const char* button) {
        rows->setCurrentRow(row);
        click(d, button);
    };

    click(d, "confirm");
    EXPECT_EQ(messages.last(), "条件式が設定されていません。  \n");

    take(3, "take1");
    click(d, "operation_or");
    take(4, "take2");
    click(d, "confirm");
    EXPECT_EQ(messages.last(), "条件式の文字数が多すぎます。  \n");

    take(0, "take1");
    take(2, "take2");
    click(d, "confirm");
    EXPECT_EQ(messages.last(), "Error : ﾌﾟﾛﾄｺﾙ名が不正です。  \n");

    size_t before = messages.texts.size();
    click(d, "start");  // invalid: nothing stored, nothing posted, still open
    EXPECT_EQ(messages.texts.size(), before + 1);
    EXPECT_EQ(s.expression1[0], 0);
    EXPECT_FALSE(d.isNull());

    take(1, "take2");
    child<QCheckBox>(d, "negate1")->click();
    click(d, "confirm");
    EXPECT_EQ(messages.last(), "検索条件式は以下の通りです。  \n\n!(tcp) || (udp[2:2] == 7)  ");
    click(d, "operation_and");
    child<QCheckBox>(d, "negate1")->click();
    click(d, "confirm");
    EXPECT_EQ(messages.last(), "検索条件式は以下の通りです。  \n\n(tcp) && (udp[2:2] == 7)  ");
    d->close();
}

TEST_F(SearchDialogsTest, SearchStartStoresSettingsAndPostsTheRequest) {
    write_file(findfil(), lines(EXPRESSIONS));
    SearchExpressionList list;
    SearchSettings s;
    Window win(10, {3, 6});
    win.w->set_selection({1});
    std::vector<int> results;
    CSearchDlg::Hooks hooks{messages.hook(), [&] { results.push_back(RunSearch(win.w.get(), &s, false)); }, {}};
    QPointer<CSearchDlg> d = new CSearchDlg(s, list, dir, nullptr, hooks);
    d->show();
    auto* rows = child<QListWidget>(d, "expressions");
    rows->setCurrentRow(1);
    click(d, "take1");
    click(d, "operation_or");
    rows->setCurrentRow(0);
    click(d, "take2");
    child<QCheckBox>(d, "negate2")->click();
    click(d, "down");
    click(d, "all_windows");
    click(d, "edit");
    QPointer<CCondEditDlg> editor = d->editor();
    ASSERT_FALSE(editor.isNull());
    click(d, "start");
    settle();

    EXPECT_TRUE(d.isNull());
    EXPECT_TRUE(editor.isNull());
    EXPECT_STREQ(s.expression1, "udp[2:2] == 7");
    EXPECT_STREQ(s.expression2, "tcp");
    EXPECT_EQ(s.expression2_length, 3);
    EXPECT_EQ(s.condition2.negate, 1);
    EXPECT_EQ(s.condition2.protocol_id, P_TCP);
    EXPECT_EQ(s.operation, 2);
    EXPECT_EQ(s.direction, 1);
    EXPECT_EQ(s.all_windows, 1);
    // The posted search ran once on the stored settings: from row 1 down to the hit at 3.
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0], 3);
    EXPECT_EQ(win.w->selected_row(), 3);
    EXPECT_TRUE(messages.texts.empty());

    // Cancel posts nothing and leaves the stored search alone.
    d = new CSearchDlg(s, list, dir, nullptr, hooks);
    click(d, "cancel");
    settle();
    EXPECT_TRUE(d.isNull());
    EXPECT_EQ(results.size(), 1u);
    EXPECT_STREQ(s.expression1, "udp[2:2] == 7");
}

// ---- condition editor ----

TEST_F(SearchDialogsTest, ConditionEditorBuildsAndStoresConditions) {
    write_file(findfil(), lines({"tcp"}));
    SearchExpressionList list;
    SearchSettings s;
    QPointer<CSearchDlg> d = new CSearchDlg(s, list, dir, nullptr, {messages.hook(), {}, {}});
    auto* rows = child<QListWidget>(d, "expressions");
    click(d, "take1");
    click(d, "edit");
    CCondEditDlg* e = d->editor();
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->entryIndex(), 0);
    EXPECT_EQ(e->conditionText(), "tcp");

    auto* protocols = child<QListWidget>(e, "protocols");
    ASSERT_EQ(protocols->count(), PROTOCOL_COUNT);
    for (int i = 1; i < protocols->count(); ++i)
        EXPECT_LT(protocols->item(i - 1)->text(), protocols->item(i)->text());
    auto* offset = child<QLineEdit>(e, "offset");
    auto* bit_op = child<QComboBox>(e, "bit_operation");
    auto* bit_value = child<QLineEdit>(e, "bit_value");
    auto* op = child<QComboBox>(e, "operator");
    auto* value = child<QLineEdit>(e, "value");

    protocols->setCurrentItem(protocols->findItems("tcp", Qt::MatchExactly).front());
    offset->setText("13");
    bit_value->setText("0x02");
    EXPECT_EQ(e->conditionText(), "tcp[13]");  // no bit operator chosen yet
    bit_op->setCurrentIndex(1);
    EXPECT_EQ(e->conditionText(), "tcp[13] & 0x02");
    op->setCurrentIndex(op->findText("!="));
    value->setText("0");
    EXPECT_EQ(e->conditionText(), "tcp[13] & 0x02 != 0");
    click(e, "add");
    EXPECT_TRUE(e->errorLines().isEmpty());
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[1], "tcp[13:1] & 0x02 != 0");
    EXPECT_EQ(rows->count(), 2);
    EXPECT_EQ(rows->item(1)->text(), "tcp[13:1] & 0x02 != 0");
    EXPECT_EQ(read_file(findfil()), lines({"tcp", "tcp[13:1] & 0x02 != 0"}));
    EXPECT_TRUE(child<QPushButton>(e, "update")->isEnabled());

    // String mode: three operators only; switching clears the comparison.
    child<QRadioButton>(e, "string_mode")->click();
    EXPECT_EQ(op->count(), 3);
    EXPECT_EQ(op->currentIndex(), 0);
    EXPECT_EQ(value->text(), "");
    EXPECT_EQ(e->conditionText(), "tcp[13] & 0x02");
    bit_op->setCurrentIndex(0);
    EXPECT_EQ(bit_value->text(), "");
    offset->setText("20:3");
    op->setCurrentIndex(op->findText("=="));
    value->setText("GET");
    EXPECT_EQ(e->conditionText(), "tcp[20:3] == GET");
    click(e, "add");
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[2], "tcp[20:3] == 0x474554");
    child<QRadioButton>(e, "number_mode")->click();
    EXPECT_EQ(op->count(), 7);

    // Selecting a row in the search dialog loads it into the editor, number mode forced.
    rows->setCurrentRow(0);
    rows->setCurrentRow(2);
    EXPECT_EQ(e->entryIndex(), 2);
    EXPECT_EQ(offset->text(), "20:3");
    EXPECT_EQ(op->currentText(), "==");
    EXPECT_EQ(value->text(), "0x474554");
    EXPECT_EQ(e->conditionText(), "tcp[20:3] == 0x474554");

    // Update the row that expression 1 was taken from: the field follows.
    rows->setCurrentRow(0);
    offset->setText("2:2");
    op->setCurrentIndex(op->findText(">"));
    value->setText("1023");
    click(e, "update");
    EXPECT_EQ(list[0], "tcp[2:2] > 1023");
    EXPECT_EQ(rows->item(0)->text(), "tcp[2:2] > 1023");
    EXPECT_EQ(d->state().expression1, "tcp[2:2] > 1023");

    // Delete it: the field empties, the row at the same place is selected and loaded.
    click(e, "delete");
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(rows->count(), 2);
    EXPECT_EQ(d->state().expression1, "");
    EXPECT_EQ(rows->currentRow(), 0);
    EXPECT_EQ(e->entryIndex(), 0);
    EXPECT_EQ(e->conditionText(), "tcp[13:1] & 0x02 != 0");
    EXPECT_EQ(read_file(findfil()), lines({"tcp[13:1] & 0x02 != 0", "tcp[20:3] == 0x474554"}));
    click(e, "delete");
    click(e, "delete");
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(rows->count(), 0);
    EXPECT_FALSE(child<QPushButton>(e, "update")->isEnabled());
    EXPECT_EQ(read_file(findfil()), "");
    EXPECT_TRUE(messages.texts.empty());

    // Closing the search dialog takes the editor with it.
    QPointer<CCondEditDlg> editor = e;
    click(d, "cancel");
    settle();
    EXPECT_TRUE(editor.isNull());
}

TEST_F(SearchDialogsTest, ConditionEditorErrorList) {
    SearchExpressionList list;
    QPointer<CCondEditDlg> e = new CCondEditDlg(list, dir, nullptr, {messages.hook()});
    EXPECT_FALSE(child<QPushButton>(e, "update")->isEnabled());
    click(e, "add");
    EXPECT_EQ(messages.last(), "条件式がありません。  ");

    auto* protocols = child<QListWidget>(e, "protocols");
    auto* offset = child<QLineEdit>(e, "offset");
    auto* op = child<QComboBox>(e, "operator");
    auto* value = child<QLineEdit>(e, "value");
    struct Case {
        const char* protocol;
        const char* offset;
        const char* op;
        const char* value;
        bool string_mode;
        std::vector<std::string> errors;
    };
    const Case cases[] = {
        {"tcp", "20:2", "==", "GET", true, {"Error : 関係演算値のﾊﾞｲﾄ数が大きすぎます。"}},
        // The "1" after "==" is still read as the missing length: three errors, lowest bit first.
        {"ip", "1:x", "==", "1", false,
         {"Error : 識別子']'の出現位置が不正です。", "Error : 関係演算子の出現位置が不正です。",
          "Error : ｻｲｽﾞ値が不正です。"}},
        {"ip6", "0:1", "==", "0x60", false, {}},
    };
    for (const Case& c : cases) {
        (c.string_mode ? child<QRadioButton>(e, "string_mode") : child<QRadioButton>(e, "number_mode"))->click();
        protocols->setCurrentItem(protocols->findItems(c.protocol, Qt::MatchExactly).front());
        offset->setText(c.offset);
        op->setCurrentIndex(op->findText(c.op));
        value->setText(c.value);
        size_t before = list.size();
        click(e, "add");
        std::vector<std::string> shown;
        for (const QString& l : e->errorLines()) shown.push_back(l.toStdString());
        EXPECT_EQ(shown, c.errors) << e->conditionText().toStdString();
        EXPECT_EQ(list.size(), before + (c.errors.empty() ? 1 : 0)) << e->conditionText().toStdString();
    }
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0], "ip6[0:1] == 0x60");
    e->close();
}

TEST_F(SearchDialogsTest, ConditionEditorLoadsAnEntry) {
    SearchExpressionList list = {"ip[12:4] => 192", "tcp[13:1] | 0x10 == 0x12", "nosuch"};
    QPointer<CCondEditDlg> e = new CCondEditDlg(list, dir, nullptr, {messages.hook()});
    e->loadEntry(0);
    EXPECT_EQ(child<QLineEdit>(e, "offset")->text(), "12:4");
    EXPECT_EQ(child<QComboBox>(e, "operator")->currentText(), ">=");
    EXPECT_EQ(child<QLineEdit>(e, "value")->text(), "192");
    EXPECT_EQ(e->conditionText(), "ip[12:4] >= 192");
    EXPECT_TRUE(e->errorLines().isEmpty());
    e->loadEntry(1);
    EXPECT_EQ(child<QComboBox>(e, "bit_operation")->currentText(), "or");
    EXPECT_EQ(e->conditionText(), "tcp[13:1] | 0x10 == 0x12");
    e->loadEntry(2);
    EXPECT_EQ(e->errorLines(), QStringList{u("Error : ﾌﾟﾛﾄｺﾙ名が不正です。")});
    EXPECT_EQ(child<QListWidget>(e, "protocols")->currentItem(), nullptr);
    e->close();
}

// ---- capture filter editor ----

TEST_F(SearchDialogsTest, FilterEditorChecksAndSaves) {
    CaptureFilterList list = {{"all", "ip"}};
    write_file(capfil(), lines({"all\",\"ip"}));
    CFilterEditDlg d(list, dir, nullptr, {messages.hook()});
    auto* names = child<QListWidget>(&d, "names");
    auto* name = child<QLineEdit>(&d, "name");
    auto* expression = child<QLineEdit>(&d, "expression");
    EXPECT_EQ(names->currentRow(), 0);
    EXPECT_EQ(name->text(), "all");
    EXPECT_EQ(expression->text(), "ip");

    struct Refused {
        const char* name;
        const char* expression;
        const char* message;  // nullptr: the libpcap message
    };
    const Refused refused[] = {
        {"", "ip", "ﾌｨﾙﾀｰ名を入力してください。  "},
        {"web", "", "条件式を入力してください。  "},
        {"web", "tcp port", nullptr},
        {"a\",\"b", "ip", "ﾌｨﾙﾀｰ名に \",\" は使えません。  "},
        {"web", "tcp\nport 80", "ﾌｨﾙﾀｰ名と条件式に改行は使えません。  "},
    };
    for (const Refused& r : refused) {
        name->setText(u(r.name));
        expression->setText(u(r.expression));
        click(&d, "add");
        if (r.message) {
            EXPECT_EQ(messages.last(), r.message);
        } else {
            const std::string head = "条件式に問題があります。  \nPCAP error : ";
            EXPECT_EQ(messages.last().rfind(head, 0), 0u) << messages.last();
            EXPECT_GT(messages.last().size(), head.size() + 2);
            EXPECT_EQ(messages.last().substr(messages.last().size() - 2), "  ");
        }
        EXPECT_EQ(list.size(), 1u);
        EXPECT_EQ(names->count(), 1);
        EXPECT_EQ(read_file(capfil()), lines({"all\",\"ip"}));
    }

    messages.texts.clear();
    name->setText("web");
    expression->setText("tcp port 80");
    click(&d, "add");
    EXPECT_TRUE(messages.texts.empty()) << messages.last();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[1].expression, "tcp port 80");
    EXPECT_EQ(names->currentRow(), 1);
    EXPECT_EQ(read_file(capfil()), lines({"all\",\"ip", "web\",\"tcp port 80"}));

    names->setCurrentRow(0);
    EXPECT_EQ(expression->text(), "ip");
    name->setText("v6");
    expression->setText("ip6");
    click(&d, "update");
    EXPECT_EQ(list[0].name, "v6");
    EXPECT_EQ(names->item(0)->text(), "v6");
    EXPECT_EQ(names->currentRow(), 0);
    EXPECT_EQ(read_file(capfil()), lines({"v6\",\"ip6", "web\",\"tcp port 80"}));

    // Deleting the last row selects the one before it; the only row empties the edits.
    names->setCurrentRow(1);
    click(&d, "delete");
    EXPECT_EQ(names->currentRow(), 0);
    EXPECT_EQ(name->text(), "v6");
    click(&d, "delete");
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(name->text(), "");
    EXPECT_EQ(expression->text(), "");
    EXPECT_EQ(read_file(capfil()), "");
    name->setText("x");
    expression->setText("ip");
    click(&d, "update");
    EXPECT_EQ(messages.last(), "ﾌｨﾙﾀｰﾘｽﾄがありません。  ");
}

// The lists stay as edited in memory when their files cannot be written.
TEST_F(SearchDialogsTest, EditorsReportSaveFailures) {
    std::string missing = dir + "/no/such/dir";
    CaptureFilterList filters;
    CFilterEditDlg f(filters, missing, nullptr, {messages.hook()});
    child<QLineEdit>(&f, "name")->setText("web");
    child<QLineEdit>(&f, "expression")->setText("tcp port 80");
    click(&f, "add");
    EXPECT_EQ(messages.last(), "ERROR : " + CaptureFilterPath(missing) + " can't writed.  ");
    EXPECT_EQ(filters.size(), 1u);

    SearchExpressionList conditions;
    QPointer<CCondEditDlg> e = new CCondEditDlg(conditions, missing, nullptr, {messages.hook()});
    auto* protocols = child<QListWidget>(e, "protocols");
    protocols->setCurrentItem(protocols->findItems("udp", Qt::MatchExactly).front());
    click(e, "add");
    EXPECT_EQ(messages.last(), "ERROR : " + SearchExpressionPath(missing) + " can't writed.  ");
    EXPECT_EQ(conditions, SearchExpressionList{"udp"});
    EXPECT_EQ(messages.texts.size(), 2u);
    e->close();
}

// ---- jump sheet ----

TEST_F(SearchDialogsTest, JumpToNumber) {
    Window win(20, {}, {});
    QPointer<CJumpDlg> d = new CJumpDlg(win.w.get(), "cap.zlc", nullptr, {messages.hook(), {}, {}, {}});
    EXPECT_EQ(d->windowTitle(), u("ｼﾞｬﾝﾌﾟ - cap.zlc"));

    auto* number = child<QLineEdit>(d->numberPage(), "number");
    const std::pair<const char*, const char*> refused[] = {
        {"", "OnJumpjump1"},
        {"0", "番号(0)が不正です。(1-20)  "},
        {"-3", "番号(-3)が不正です。(1-20)  "},
        {"12a", "番号(12a)が不正です。(1-20)  "},
    };
    for (const auto& [text, message] : refused) {
        number->setText(text);
        click(d->numberPage(), "jump");
        EXPECT_EQ(messages.last(), message) << text;
        EXPECT_EQ(win.w->selected_row(), -1);
    }
    win.w->set_selection({2, 3});
    number->setText("+12");
    click(d->numberPage(), "jump");
    EXPECT_EQ(win.w->selected_row(), 11);
    EXPECT_FALSE(win.w->row_selected(2));
    EXPECT_EQ(win.w->search_state().last_hit, 11);

    // Enter in the edit jumps, once.
    d->show();
    size_t before = messages.texts.size();
    number->setText("x");
    number->setFocus();
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(number, &enter);
    EXPECT_EQ(messages.texts.size(), before + 1);
    EXPECT_EQ(messages.last(), "番号(x)が不正です。(1-20)  ");
    d->close();
}

TEST_F(SearchDialogsTest, JumpToMark) {
    Window win(10, {}, {3, 7});
    std::vector<std::string> reports;
    JumpHooks hooks{messages.hook(), [&](const QString& t) { reports.push_back(t.toStdString()); }, {}, {}};
    QPointer<CJumpDlg> d = new CJumpDlg(win.w.get(), "cap.zlc", nullptr, hooks);
    CJumpMark* page = d->markPage();

    // None selected: the walk starts at row 0; from the last hit it starts one row on.
    click(page, "down");
    EXPECT_EQ(win.w->selected_row(), 3);
    click(page, "down");
    EXPECT_EQ(win.w->selected_row(), 7);
    EXPECT_EQ(win.w->search_state().last_hit, 7);
    click(page, "down");
    EXPECT_EQ(win.w->selected_row(), 7);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0], "検索開始ﾌﾚｰﾑ : 9\r\nﾏｰｸしたﾌﾚｰﾑがありません。\r\n");

    // A marked, selected frame that is not the last hit stays selected.
    win.w->set_selection({3});
    click(page, "up");
    EXPECT_EQ(win.w->selected_row(), 3);
    EXPECT_EQ(win.w->search_state().last_hit, 3);
    EXPECT_TRUE(messages.texts.empty());
    d->close();
    settle();
    EXPECT_TRUE(d.isNull());
}
