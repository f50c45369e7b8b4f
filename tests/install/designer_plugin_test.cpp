// Loads the Designer plugin as Qt Designer does, makes the widget through it
// and checks what a form designer shows: the published properties, About
// (never stored) and the dashed frame around the control.
#include "view/transition_view.h"

#include <QApplication>
#include <QImage>
#include <QMetaProperty>
#include <QPluginLoader>
#include <QtUiPlugin/QDesignerCustomWidgetInterface>

#include <cstdio>
#include <memory>

namespace {

int failures = 0;

void Check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "FAILED: %s\n", what);
        ++failures;
    }
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fputs("usage: mirel_designer_plugin_test PLUGIN\n", stderr);
        return 2;
    }
    QPluginLoader loader(QString::fromLocal8Bit(argv[1]));
    auto* plugin = qobject_cast<QDesignerCustomWidgetInterface*>(loader.instance());
    if (!plugin) {
        std::fprintf(stderr, "FAILED: the plugin does not load: %s\n", qPrintable(loader.errorString()));
        return 1;
    }
    Check(plugin->name() == "mirel::TTransitionView", "name is the widget's class");
    Check(plugin->includeFile() == "view/transition_view.h", "include file is the public header");
    Check(!plugin->isContainer(), "not a container");
    Check(plugin->domXml().contains("class=\"mirel::TTransitionView\""), "dom XML names the class");
    Check(!plugin->icon().isNull(), "has an icon");

    std::unique_ptr<QWidget> widget(plugin->createWidget(nullptr));
    Check(widget != nullptr, "creates a widget");
    if (!widget)
        return 1;
    auto* view = qobject_cast<mirel::TTransitionView*>(widget.get());
    Check(view != nullptr, "the widget is a TTransitionView");

    const QMetaObject* meta = widget->metaObject();
    for (const char* name : {"About", "Style", "StyleName", "Step", "Delay", "Reverse", "Manual", "Threaded",
                             "Center", "Stretch", "StretchFine", "AutoSize", "OverDraw", "Color", "Align",
                             "BgMode", "ThreadPriority"})
        Check(meta->indexOfProperty(name) >= 0, name);
    const int about = meta->indexOfProperty("About");
    if (about >= 0) {
        Check(!meta->property(about).isStored(), "About is not stored");
        Check(meta->property(about).read(widget.get()).toString().isEmpty(), "About is empty");
    }
    Check(widget->setProperty("Style", 84) && widget->property("StyleName").toString() ==
                                                  "Circular reveal from centre",
          "Style set through the property system");

    // Without a picture the control is its colour, with the frame on its
    // outermost pixels: dashes of black and gaps of the colour.
    widget->setProperty("Color", QColor(Qt::white));
    widget->resize(60, 40);
    const QImage image = widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
    Check(image.size() == QSize(60, 40), "grabbed at its size");
    int black = 0, white = 0;
    for (int x = 0; x < image.width(); ++x) {
        const QRgb top = image.pixel(x, 0), bottom = image.pixel(x, image.height() - 1);
        black += (top == qRgb(0, 0, 0)) + (bottom == qRgb(0, 0, 0));
        white += (top == qRgb(255, 255, 255)) + (bottom == qRgb(255, 255, 255));
    }
    for (int y = 0; y < image.height(); ++y)
        black += (image.pixel(0, y) == qRgb(0, 0, 0)) + (image.pixel(image.width() - 1, y) == qRgb(0, 0, 0));
    Check(black > 40 && white > 10, "a dashed frame on the bounds");
    Check(image.pixel(30, 20) == qRgb(255, 255, 255) && image.pixel(1, 1) == qRgb(255, 255, 255),
          "nothing inside the frame");

    widget.reset();
    if (failures == 0)
        std::puts("designer plugin: all checks passed");
    return failures == 0 ? 0 : 1;
}
