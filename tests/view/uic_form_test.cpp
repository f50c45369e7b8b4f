// A form compiled by uic sets the widget's properties through the setters
// it names after them ("set" and the property's name).
#include "view/transition_view.h"

#include "ui_show_form.h"

#include <gtest/gtest.h>

namespace mirel {
namespace {

TEST(UicForm, SetsEveryChangedProperty)
{
    QWidget form;
    Ui::ShowForm ui;
    ui.setupUi(&form);
    const TTransitionView& v = *ui.view;
    EXPECT_EQ(v.Style(), 84);
    EXPECT_EQ(v.Step(), 5);
    EXPECT_EQ(v.Delay(), 20);
    EXPECT_FALSE(v.AutoSize());
    EXPECT_TRUE(v.Center());
    EXPECT_TRUE(v.Reverse());
    EXPECT_FALSE(v.Threaded());
    EXPECT_TRUE(v.Stretch());
    EXPECT_TRUE(v.StretchFine());
    EXPECT_FALSE(v.OverDraw());
    EXPECT_TRUE(v.Manual());
    EXPECT_FALSE(v.ParentColor());
    EXPECT_EQ(v.Color(), QColor(10, 20, 30));
    EXPECT_EQ(v.BgMode(), bmCentered);
    EXPECT_EQ(v.Align(), alClient);
    EXPECT_EQ(v.ThreadPriority(), tpLower);
}

} // namespace
} // namespace mirel
