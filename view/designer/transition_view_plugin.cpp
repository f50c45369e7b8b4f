#include "view/designer/transition_view_plugin.h"

#include "view/designer/design_frame.h"
#include <mirel/transition_view.h>

#include <QIcon>
#include <QPainter>
#include <QPixmap>

namespace mirel {

namespace {

// The property editor's tool tips, for the properties it shows: the
// camelCase names, and the two classic ones without a twin. (The other
// capitalised names are kept out of Designer, though forms may use them.)
struct TPropertyTip {
    const char* Name;
    const char* Text;
};

constexpr TPropertyTip PropertyTips[] = {
    {"style", "Transition style: 1 to 150 from the catalogue, 0 draws through OnCustomDraw"},
    {"styleName", "Name of the current style; setting a name selects that style"},
    {"step", "Percent of the transition per frame, 1 to 100"},
    {"delay", "Milliseconds aimed at between frames"},
    {"reverse", "Run the transition from 100 % down to 0 %"},
    {"manual", "The application sets the progress itself; no automatic stepping"},
    {"threaded", "Build the frames on a worker thread"},
    {"threadPriority", "Priority of the worker thread"},
    {"overDraw", "Start from what is on screen (on) or from the bare background (off)"},
    {"fillMode", "How the picture fills the control: scaled to it (Stretch, PreserveAspectFit, "
                 "PreserveAspectCrop) or unscaled (Pad, placed by the properties below)"},
    {"autoSize", "With Pad: size the control to the picture"},
    {"center", "With Pad: centre the unstretched picture in the control"},
    {"stretch", "With Pad: stretch the picture to the control"},
    {"stretchFine", "With stretch: keep the picture's aspect ratio"},
    {"bgMode", "How the background picture is drawn behind the picture"},
    {"color", "Background colour; the parent's while ParentColor is on"},
    {"ParentColor", "Take the parent's background colour"},
    {"Align", "Follow the parent's size: a strip along one side or the whole parent"},
};

} // namespace

TTransitionViewPlugin::TTransitionViewPlugin(QObject* parent) : QObject(parent) {}

QString TTransitionViewPlugin::name() const
{
    return QStringLiteral("mirel::TTransitionView");
}

QString TTransitionViewPlugin::group() const
{
    return QStringLiteral("Mirel");
}

QString TTransitionViewPlugin::toolTip() const
{
    return QStringLiteral("Shows a picture by an animated transition");
}

QString TTransitionViewPlugin::whatsThis() const
{
    return QStringLiteral("Holds one picture and shows it by one of 150 animated transitions from "
                          "whatever it displays: load() a picture, choose a style, call execute().");
}

QString TTransitionViewPlugin::includeFile() const
{
    // The angle brackets make Designer save <header location="global">, so
    // that uic writes #include <mirel/transition_view.h>.
    return QStringLiteral("<mirel/transition_view.h>");
}

QIcon TTransitionViewPlugin::icon() const
{
    // A picture half revealed by a circle, drawn here rather than shipped.
    QPixmap pixmap(22, 22);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(1, 3, 20, 16, QColor(0x1c, 0x23, 0x40));
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x4a, 0x90, 0xd9));
    painter.drawEllipse(QPointF(11, 11), 6, 6);
    painter.setPen(QPen(Qt::white, 1, Qt::DashLine));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(QPointF(11, 11), 6, 6);
    painter.end();
    return QIcon(pixmap);
}

bool TTransitionViewPlugin::isContainer() const
{
    return false;
}

QWidget* TTransitionViewPlugin::createWidget(QWidget* parent)
{
    // Always the real class, so that Designer writes its name into the form.
    // The frame is an event filter owned by the widget, added only for a form
    // editor: QUiLoader makes the widgets of an application's forms through
    // this plugin too, and initializes it without one.
    auto* view = new TTransitionView(parent);
    if (designing_)
        view->installEventFilter(new TDesignFrame(view));
    return view;
}

bool TTransitionViewPlugin::isInitialized() const
{
    return initialized_;
}

void TTransitionViewPlugin::initialize(QDesignerFormEditorInterface* core)
{
    initialized_ = true;
    designing_ = core != nullptr;
}

QString TTransitionViewPlugin::domXml() const
{
    // What a drop on a form starts with: the control's own size, and the
    // <customwidgets> entry Designer copies into every form that uses it.
    QString tips;
    for (const TPropertyTip& tip : PropertyTips)
        tips += QStringLiteral("    <tooltip name=\"%1\">%2</tooltip>\n")
                    .arg(QLatin1String(tip.Name), QLatin1String(tip.Text));
    return QStringLiteral(R"(<ui language="c++" displayname="Transition View">
 <widget class="mirel::TTransitionView" name="transitionView">
  <property name="geometry">
   <rect>
    <x>0</x>
    <y>0</y>
    <width>100</width>
    <height>100</height>
   </rect>
  </property>
 </widget>
 <customwidgets>
  <customwidget>
   <class>mirel::TTransitionView</class>
   <extends>QWidget</extends>
   <header location="global">mirel/transition_view.h</header>
   <propertyspecifications>
%1   </propertyspecifications>
  </customwidget>
 </customwidgets>
</ui>
)")
        .arg(tips);
}

} // namespace mirel
