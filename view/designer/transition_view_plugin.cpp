#include "view/designer/transition_view_plugin.h"

#include "view/designer/design_transition_view.h"

#include <QIcon>
#include <QPainter>
#include <QPixmap>

namespace mirel {

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
                          "whatever it displays. Load Picture, set Style and call Execute.");
}

QString TTransitionViewPlugin::includeFile() const
{
    return QStringLiteral("view/transition_view.h");
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
    return new TDesignTransitionView(parent);
}

bool TTransitionViewPlugin::isInitialized() const
{
    return initialized_;
}

void TTransitionViewPlugin::initialize(QDesignerFormEditorInterface*)
{
    initialized_ = true;
}

QString TTransitionViewPlugin::domXml() const
{
    return QStringLiteral(R"(<ui language="c++">
 <widget class="mirel::TTransitionView" name="transitionView">
  <property name="geometry">
   <rect><x>0</x><y>0</y><width>160</width><height>120</height></rect>
  </property>
 </widget>
</ui>
)");
}

} // namespace mirel
