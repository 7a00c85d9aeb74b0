// A picture of the main window with the sample open: a frame selected, one
// protocol opened in the tree and its line highlighted in the dump. Written to
// the test's directory, or to $ZELPAN_SCREENSHOT (docs/screenshot.png) when set.
#include <QImage>
#include <QMdiSubWindow>
#include <QPixmap>
#include <QTest>

#include "tests/gui/gui_support.h"
#include "ui/dump_view.h"
#include "ui/list_view.h"
#include "ui/tree_view.h"

using namespace zelpan;
using zgui::GuiTest;

TEST_F(GuiTest, ScreenshotOfTheMainWindowWithTheSample) {
    main_->resize(1280, 880);
    CChildFrame* w = open(zgui::sample_path());
    ASSERT_NE(w, nullptr);
    w->subWindow()->showMaximized();
    w->arrangePanes(w->height());
    settle();
    CZelListvw* list = w->listView();
    list->SelectRow(12, -1, -1, -1);  // the HTTP request
    list->selectionModel()->select(list->model()->index(4, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    w->markSelectedFrames();
    CZelTreevw* tree = w->treeView();
    const DetailTree& t = tree->detailTree();
    int32_t tcp = 0;
    for (int32_t h = t.first_top(); t.valid(h); h = t.line(h).next_sibling)
        if (t.line(h).protocol == P_TCP) tcp = h;
    ASSERT_TRUE(t.valid(tcp));
    tree->expand(tree->treeModel()->indexOf(tcp));
    tree->selectHandle(tcp);
    ASSERT_EQ(w->dumpView()->highlightLength(), t.line(tcp).length);
    settle(50);

    QImage shot = main_->grab().toImage();
    ASSERT_FALSE(shot.isNull());
    EXPECT_EQ(shot.size(), main_->size() * main_->devicePixelRatio());
    // The dump's highlight is on the picture.
    QImage dump = w->dumpView()->viewport()->grab().toImage();
    QPoint cell = w->dumpView()->cellPosition(t.line(tcp).offset, false) + QPoint(0, 1);
    EXPECT_EQ(dump.pixelColor(cell), QColor(0, 0, 128));
    QString out = qEnvironmentVariable("ZELPAN_SCREENSHOT", temp("screenshot.png"));
    EXPECT_TRUE(shot.save(out, "PNG")) << out.toStdString();
    tree->collapse(tree->treeModel()->indexOf(tcp));
}
