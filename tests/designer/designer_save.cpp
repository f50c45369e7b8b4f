// Qt Designer without its windows: the form editor core that the designer
// program builds, with the plugins it finds by its own search (Qt's plugin
// folder and QT_PLUGIN_PATH). It places the widget on a form the way a drop
// from the widget box does (the plugin's domXml), checks what Designer shows,
// changes the widget's own properties the way the property editor does, and
// saves the form as File > Save does: the form a user gets.
//
//   mirel_designer_save FORM.ui EXPECTED.txt CLASS qt|classic
//
// The widget publishes most values twice, by their camelCase names (the Qt
// face) and by their capitalised names (the classic face), but Designer's
// property editor shows each once, by its camelCase name. "qt" changes every
// property the editor shows and saves the form, which must then store each
// value once. "classic" writes the form an application made before has,
// with the capitalised names, opens it in Designer (which must show its
// values under the camelCase names and save them so, once each), and hands
// on the form as it was, for the application to build and load.
// CLASS names the form's class (Ui::CLASS in the code uic writes).
//
// EXPECTED gets one "name=value" line per property the form stores, read back
// from the widget in Designer after all the changes, for the program that
// builds and loads the saved form to compare with.
#include <QApplication>
#include <QDomDocument>
#include <QFile>
#include <QImage>
#include <QMetaProperty>
#include <QRegularExpression>
#include <QTextStream>
#include <QWidget>
#include <QtDesigner/QDesignerComponents>
#include <QtDesigner/QtDesigner>

#include <algorithm>
#include <cstdio>

namespace {

int failures = 0;

void Check(bool ok, const QString& what)
{
    if (!ok) {
        std::fprintf(stderr, "FAILED: %s\n", qPrintable(what));
        ++failures;
    }
}

constexpr const char* ClassName = "mirel::TTransitionView";

// The plugin's domXml, as the widget box takes it: the <widget> element goes
// onto the form, the <customwidgets> element describes the class.
QDomDocument PluginDom(QDesignerFormEditorInterface* core)
{
    QList<QDesignerCustomWidgetInterface*> widgets;
    for (QObject* instance : core->pluginInstances()) {
        if (auto* single = qobject_cast<QDesignerCustomWidgetInterface*>(instance))
            widgets << single;
        else if (auto* collection = qobject_cast<QDesignerCustomWidgetCollectionInterface*>(instance))
            widgets << collection->customWidgets();
    }
    QDomDocument dom;
    for (QDesignerCustomWidgetInterface* plugin : widgets)
        if (plugin->name() == ClassName)
            Check(bool(dom.setContent(plugin->domXml())), "the plugin's domXml is well-formed XML");
    return dom;
}

// A new form (Designer's "Widget" template) with the widget dropped on it.
QString FormWithWidget(const QDomDocument& pluginDom, const QString& formClass)
{
    QDomDocument form;
    form.setContent(QStringLiteral(R"(<ui version="4.0"><class>%1</class>
<widget class="QWidget" name="%1"><property name="geometry"><rect><x>0</x><y>0</y>
<width>400</width><height>300</height></rect></property></widget></ui>)")
                        .arg(formClass));
    QDomElement widget = pluginDom.documentElement().firstChildElement("widget");
    widget.setAttribute("name", "view");
    form.documentElement().firstChildElement("widget").appendChild(form.importNode(widget, true));
    return form.toString();
}

// A value different from the widget's default, as a user would pick in the
// property editor. Colour: a fixed one (which also turns ParentColor off).
QVariant Changed(const QMetaProperty& property, const QVariant& value)
{
    const QString name = QString::fromLatin1(property.name());
    if (name == "ParentColor")
        return false; // follows from setting Color; toggling it back would undo Color
    if (name == "Width" || name == "Height")
        return QVariant(); // the geometry, which the form stores already
    if (property.isEnumType()) {
        // The last value that is not the current one.
        const QMetaEnum e = property.enumerator();
        for (int i = e.keyCount() - 1; i >= 0; --i)
            if (e.value(i) != value.toInt())
                return e.value(i);
        return QVariant();
    }
    switch (value.typeId()) {
    case QMetaType::Bool:
        return !value.toBool();
    case QMetaType::Int:
        return value.toInt() + (name.compare("Style", Qt::CaseInsensitive) == 0 ? 33 : 1);
    case QMetaType::QColor:
        return QColor(10, 20, 30);
    default:
        return QVariant(); // pictures: no editor in Designer
    }
}

QString Text(const QMetaProperty& property, const QVariant& value)
{
    if (property.isEnumType())
        return QString::number(value.toInt());
    if (value.typeId() == QMetaType::QColor)
        return value.value<QColor>().name();
    return value.toString();
}

// A property as a form stores it.
QString PropertyXml(const QMetaProperty& property, const QVariant& value)
{
    QString text;
    if (property.isEnumType()) {
        const QMetaEnum e = property.enumerator();
        text = QStringLiteral("<enum>%1::%2</enum>").arg(QLatin1String(e.scope()), QLatin1String(e.valueToKey(value.toInt())));
    } else if (value.typeId() == QMetaType::Bool) {
        text = QStringLiteral("<bool>%1</bool>").arg(value.toBool() ? "true" : "false");
    } else if (value.typeId() == QMetaType::Int) {
        text = QStringLiteral("<number>%1</number>").arg(value.toInt());
    } else if (value.typeId() == QMetaType::QColor) {
        const QColor c = value.value<QColor>();
        text = QStringLiteral("<color><red>%1</red><green>%2</green><blue>%3</blue></color>")
                   .arg(c.red()).arg(c.green()).arg(c.blue());
    }
    return QStringLiteral("<property name=\"%1\">%2</property>").arg(QLatin1String(property.name()), text);
}

bool HasTwin(const QMetaObject* meta, const char* name)
{
    QByteArray lower(name);
    lower[0] = char(QChar::toLower(char16_t(lower[0])));
    return lower != name && meta->indexOfProperty(lower) >= 0;
}

// The dashed frame that shows the control's bounds in Designer: black dashes
// on its outermost pixels, nothing inside.
void CheckFrame(QWidget* widget)
{
    widget->setProperty("color", QColor(Qt::white));
    const QImage image = widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
    int black = 0;
    for (int x = 0; x < image.width(); ++x)
        black += (image.pixel(x, 0) == qRgb(0, 0, 0)) + (image.pixel(x, image.height() - 1) == qRgb(0, 0, 0));
    for (int y = 0; y < image.height(); ++y)
        black += (image.pixel(0, y) == qRgb(0, 0, 0)) + (image.pixel(image.width() - 1, y) == qRgb(0, 0, 0));
    const int perimeter = 2 * (image.width() + image.height());
    Check(black > perimeter / 4 && black < perimeter * 3 / 4,
          QString("a dashed frame on the bounds in Designer (%1 of %2 pixels black)").arg(black).arg(perimeter));
    Check(image.pixel(image.width() / 2, image.height() / 2) == qRgb(255, 255, 255) &&
              image.pixel(1, 1) == qRgb(255, 255, 255),
          "nothing inside the frame");
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QString face = argc == 5 ? QString::fromLocal8Bit(argv[4]) : QString();
    if (face != "qt" && face != "classic") {
        std::fputs("usage: mirel_designer_save FORM.ui EXPECTED.txt CLASS qt|classic\n", stderr);
        return 2;
    }

    // The core as the designer program sets it up. It lives until the
    // process ends: its parts do not survive being torn down after the
    // application object.
    QDesignerComponents::initializeResources();
    QDesignerFormEditorInterface* core = QDesignerComponents::createFormEditor(nullptr);
    QDesignerComponents::createTaskMenu(core, nullptr);
    QDesignerComponents::initializePlugins(core);
    QDesignerWidgetBoxInterface* widgetBox = QDesignerComponents::createWidgetBox(core, nullptr);
    core->setWidgetBox(widgetBox);
    core->setPropertyEditor(QDesignerComponents::createPropertyEditor(core, nullptr));
    core->setObjectInspector(QDesignerComponents::createObjectInspector(core, nullptr));
    core->setActionEditor(QDesignerComponents::createActionEditor(core, nullptr));
    core->setIntegration(new QDesignerIntegration(core, nullptr));
    widgetBox->setFileName(QStringLiteral(":/qt-project.org/widgetbox/widgetbox.xml"));
    widgetBox->load();

    // The widget box entry: the real class, the installed header.
    QDesignerWidgetDataBaseInterface* db = core->widgetDataBase();
    const int index = db->indexOfClassName(ClassName);
    if (index < 0) {
        std::fprintf(stderr, "FAILED: Designer did not find the plugin (QT_PLUGIN_PATH=%s)\n",
                     qgetenv("QT_PLUGIN_PATH").constData());
        return 1;
    }
    QDesignerWidgetDataBaseItemInterface* item = db->item(index);
    Check(item->isCustom() && !item->isContainer(), "a custom widget, not a container");
    Check(item->includeFile() == "<mirel/transition_view.h>",
          "the installed header, included with angle brackets: " + item->includeFile());
    Check(!item->icon().isNull(), "an icon in the widget box");

    const QDomDocument pluginDom = PluginDom(core);
    const QDomElement ui = pluginDom.documentElement();
    Check(ui.tagName() == "ui" && ui.attribute("language") == "c++", "domXml is a <ui language=\"c++\">");
    Check(ui.firstChildElement("widget").attribute("class") == ClassName, "domXml places the real class");
    const QDomElement custom = ui.firstChildElement("customwidgets").firstChildElement("customwidget");
    Check(custom.firstChildElement("class").text() == ClassName &&
              custom.firstChildElement("extends").text() == "QWidget" &&
              custom.firstChildElement("header").text() == "mirel/transition_view.h",
          "domXml describes the class in <customwidgets>");

    // The drop, then the widget Designer shows.
    QDesignerFormWindowInterface* form = core->formWindowManager()->createFormWindow(nullptr);
    core->formWindowManager()->setActiveFormWindow(form);
    form->setContents(FormWithWidget(pluginDom, QString::fromLocal8Bit(argv[3])));
    // A form window that is never shown keeps a small default size; give it
    // the size the user drew.
    form->cursor()->setWidgetProperty(form->mainContainer(), "geometry", QRect(0, 0, 400, 300));
    QWidget* view = form->mainContainer()->findChild<QWidget*>("view");
    if (!view) {
        std::fputs("FAILED: Designer made no widget from the plugin's domXml\n", stderr);
        return 1;
    }
    Check(QByteArray(view->metaObject()->className()) == ClassName,
          QString("Designer holds the real class, not %1").arg(view->metaObject()->className()));
    Check(view->size() == QSize(100, 100), "dropped at the control's own size, 100 x 100");

    // Property tool tips name properties that exist.
    for (QDomElement tip = custom.firstChildElement("propertyspecifications").firstChildElement("tooltip");
         !tip.isNull(); tip = tip.nextSiblingElement("tooltip"))
        Check(view->metaObject()->indexOfProperty(tip.attribute("name").toLatin1()) >= 0,
              "a tool tip for a property the widget does not have: " + tip.attribute("name"));

    CheckFrame(view);
    form->cursor()->resetWidgetProperty(view, "color");

    // The property editor shows each value once, by its camelCase name:
    // neither a capitalised twin, nor the geometry again as Width and
    // Height, nor the progress of a transition that cannot run there.
    auto* sheet = qt_extension<QDesignerPropertySheetExtension*>(core->extensionManager(), view);
    const auto shown = [sheet](const char* name) {
        const int s = sheet->indexOf(QString::fromLatin1(name));
        return s >= 0 && sheet->isVisible(s);
    };
    const QMetaObject* meta = view->metaObject();
    for (int i = QWidget::staticMetaObject.propertyCount(); i < meta->propertyCount(); ++i) {
        const char* name = meta->property(i).name();
        if (HasTwin(meta, name))
            Check(!shown(name), QString("Designer shows %1 beside its camelCase twin").arg(name));
    }
    for (const char* name : {"Width", "Height", "progress"})
        Check(!shown(name), QString("Designer shows %1").arg(name));
    for (const char* name : {"style", "step", "fillMode", "Align", "ParentColor"})
        Check(shown(name), QString("Designer does not show %1").arg(name));

    // Every property the editor offers, changed there from its default (on
    // the "qt" face), or every capitalised one in an older form (on the
    // "classic" face); the ones not stored must stay out of the form.
    QList<QVariant> defaults;
    for (int i = 0; i < meta->propertyCount(); ++i)
        defaults << meta->property(i).read(view);
    QStringList notStored;
    QString older;
    for (int i = QWidget::staticMetaObject.propertyCount(); i < meta->propertyCount(); ++i) {
        const QMetaProperty property = meta->property(i);
        if (!property.isWritable())
            continue;
        const bool classic = face == "classic";
        if (classic ? !QChar::isUpper(char16_t(property.name()[0])) : !shown(property.name()))
            continue;
        if (!property.isStored()) {
            notStored << property.name();
            continue;
        }
        const QVariant value = Changed(property, defaults[i]);
        if (!value.isValid())
            continue;
        if (classic)
            older += PropertyXml(property, value);
        else
            form->cursor()->setWidgetProperty(view, QString::fromLatin1(property.name()), value);
    }
    QString contents = form->contents();
    if (face == "classic") {
        // The form as an application has it, opened in Designer.
        contents.replace(QRegularExpression(QStringLiteral("(<widget class=\"mirel::TTransitionView\" name=\"view\">)")),
                         QStringLiteral("\\1") + older);
        form->setContents(contents);
        view = form->mainContainer()->findChild<QWidget*>("view");
        if (!view) {
            std::fputs("FAILED: Designer does not open the older form\n", stderr);
            return 1;
        }
        for (int i = QWidget::staticMetaObject.propertyCount(); i < meta->propertyCount(); ++i) {
            const QMetaProperty property = meta->property(i);
            const QVariant value = Changed(property, defaults[i]);
            if (HasTwin(meta, property.name()) && property.isStored() && value.isValid())
                Check(Text(property, property.read(view)) == Text(property, value),
                      QString("%1 from the older form reads %2 in Designer").arg(property.name(), Text(property, property.read(view))));
        }
    }

    // Saved, each value once: edited in Designer, by its camelCase name
    // alone; from an older form, by the name that form gave it.
    const QString saving = form->contents();
    QDomDocument saved;
    saved.setContent(saving);
    QStringList savedNames;
    QDomElement savedWidget = saved.documentElement().firstChildElement("widget").firstChildElement("widget");
    for (QDomElement p = savedWidget.firstChildElement("property"); !p.isNull();
         p = p.nextSiblingElement("property"))
        savedNames << p.attribute("name");
    for (const QString& name : notStored)
        Check(!savedNames.contains(name), name + " is not stored in the form");
    for (const QString& name : savedNames) {
        if (face == "qt")
            Check(!HasTwin(meta, name.toLatin1()), "Designer saves " + name + ", a capitalised twin");
        Check(std::count_if(savedNames.begin(), savedNames.end(),
                            [&](const QString& n) { return n.compare(name, Qt::CaseInsensitive) == 0; }) == 1,
              "Designer saves " + name + " twice");
    }
    if (face == "qt")
        contents = saving;

    // Opened again in Designer, the form shows the same values.
    QDesignerFormWindowInterface* reopened = core->formWindowManager()->createFormWindow(nullptr);
    reopened->setContents(saving);
    QWidget* again = reopened->mainContainer()->findChild<QWidget*>("view");
    Check(again != nullptr, "the saved form opens again in Designer");
    for (const QString& name : savedNames) {
        const int i = meta->indexOfProperty(name.toLatin1());
        if (again && i >= QWidget::staticMetaObject.propertyCount())
            Check(Text(meta->property(i), meta->property(i).read(again)) ==
                      Text(meta->property(i), meta->property(i).read(view)),
                  name + " reads back differently when the form is opened again");
    }

    QFile out(QString::fromLocal8Bit(argv[1]));
    QFile expected(QString::fromLocal8Bit(argv[2]));
    if (!out.open(QIODevice::WriteOnly) || !expected.open(QIODevice::WriteOnly | QIODevice::Text)) {
        std::fputs("FAILED: cannot write the outputs\n", stderr);
        return 1;
    }
    out.write(contents.toUtf8());
    QTextStream lines(&expected);
    lines << "class=" << view->metaObject()->className() << "\n";
    QDomDocument handedOn;
    handedOn.setContent(contents);
    QStringList names;
    for (QDomElement p = handedOn.documentElement().firstChildElement("widget").firstChildElement("widget").firstChildElement("property");
         !p.isNull(); p = p.nextSiblingElement("property"))
        names << p.attribute("name");
    for (const QString& name : names) {
        const int i = meta->indexOfProperty(name.toLatin1());
        if (i >= QWidget::staticMetaObject.propertyCount())
            lines << name << "=" << Text(meta->property(i), meta->property(i).read(view)) << "\n";
    }
    lines << "geometry=" << view->x() << "," << view->y() << "," << view->width() << "," << view->height()
          << "\n";
    return failures == 0 ? 0 : 1;
}
