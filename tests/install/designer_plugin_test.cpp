// Loads the Designer plugin as QUiLoader does (no form editor), makes the
// widget through it and checks what an application gets: the real class with
// its published properties, and none of Designer's dashed frame. What
// Designer itself shows and saves is tests/designer's round trip.
#include <mirel/transition_view.h>

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
    Check(plugin->includeFile() == "<mirel/transition_view.h>", "include file is the installed header");
    Check(!plugin->isContainer(), "not a container");
    Check(plugin->domXml().contains("class=\"mirel::TTransitionView\""), "dom XML names the class");
    Check(!plugin->icon().isNull(), "has an icon");

    std::unique_ptr<QWidget> widget(plugin->createWidget(nullptr));
    Check(widget != nullptr, "creates a widget");
    if (!widget)
        return 1;
    auto* view = qobject_cast<mirel::TTransitionView*>(widget.get());
    Check(view != nullptr, "the widget is a TTransitionView");
    Check(QByteArray(widget->metaObject()->className()) == "mirel::TTransitionView",
          "the widget is the real class, not a design-time subclass");
    plugin->initialize(nullptr);

    const QMetaObject* meta = widget->metaObject();
    for (const char* name : {"Style", "StyleName", "Step", "Delay", "Reverse", "Manual", "Threaded",
                             "Center", "Stretch", "StretchFine", "AutoSize", "OverDraw", "Color", "Align",
                             "BgMode", "ThreadPriority"})
        Check(meta->indexOfProperty(name) >= 0, name);
    // About, where the widget publishes it, is never stored in a form.
    const int about = meta->indexOfProperty("About");
    if (about >= 0) {
        Check(!meta->property(about).isStored(), "About is not stored");
        Check(meta->property(about).read(widget.get()).toString().isEmpty(), "About is empty");
    }
    Check(widget->setProperty("Style", 84) && widget->property("StyleName").toString() ==
                                                  "Circular reveal from centre",
          "Style set through the property system");

    // Made for an application, without a picture the control is its colour
    // to the last pixel: no frame.
    widget.reset(plugin->createWidget(nullptr));
    widget->setProperty("Color", QColor(Qt::white));
    widget->resize(60, 40);
    const QImage image = widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
    Check(image.size() == QSize(60, 40), "grabbed at its size");
    int other = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            other += image.pixel(x, y) != qRgb(255, 255, 255);
    Check(other == 0, "no design-time frame outside Designer");

    widget.reset();
    if (failures == 0)
        std::puts("designer plugin: all checks passed");
    return failures == 0 ? 0 : 1;
}
