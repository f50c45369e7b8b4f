// A window around the transition widget, to watch and try it: the style,
// Step, Delay, Reverse, placement and threading, a manual progress slider,
// three generated pictures and pictures chosen from disk.
//
//   mirel-view-demo [--effect N] [--hold P] [--quit-after MS]
//
// --hold P runs the second transition by hand and holds it at P percent (for
// screenshots); --quit-after closes the window after MS milliseconds.
#include "surface/jpeg.h"
#include "view/exception_hook.h"
#include "view/transition_view.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCommandLineParser>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QLinearGradient>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QRadialGradient>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include <cstring>
#include <random>
#include <vector>

namespace {

using namespace mirel;

constexpr int PicW = 800, PicH = 600;

QImage Sunset()
{
    QImage image(PicW, PicH, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, PicH);
    sky.setColorAt(0, QColor(40, 20, 90));
    sky.setColorAt(0.6, QColor(240, 110, 60));
    sky.setColorAt(1, QColor(255, 200, 90));
    p.fillRect(image.rect(), sky);
    p.setBrush(QColor(255, 230, 120));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(560, 330), 90, 90);
    QPainterPath hills;
    hills.moveTo(0, PicH);
    hills.cubicTo(150, 380, 300, 520, 450, 430);
    hills.cubicTo(600, 340, 700, 480, PicW, 420);
    hills.lineTo(PicW, PicH);
    p.setBrush(QColor(30, 25, 50));
    p.drawPath(hills);
    return image;
}

QImage Tiles()
{
    QImage image(PicW, PicH, QImage::Format_RGB32);
    QPainter p(&image);
    const QColor colours[] = {QColor(230, 60, 60), QColor(60, 160, 230), QColor(250, 200, 40),
                              QColor(80, 190, 90)};
    for (int y = 0; y < PicH; y += 50)
        for (int x = 0; x < PicW; x += 50)
            p.fillRect(x, y, 50, 50, colours[(x / 50 + 2 * (y / 50)) % 4]);
    QFont font = p.font();
    font.setPixelSize(160);
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(image.rect(), Qt::AlignCenter, "Mirel");
    return image;
}

QImage Rings()
{
    QImage image(PicW, PicH, QImage::Format_RGB32);
    QPainter p(&image);
    QRadialGradient rings(PicW / 2.0, PicH / 2.0, 90);
    rings.setSpread(QGradient::ReflectSpread);
    rings.setColorAt(0, QColor(20, 60, 140));
    rings.setColorAt(1, QColor(120, 230, 200));
    p.fillRect(image.rect(), rings);
    return image;
}

void AssignImage(TPicture& picture, const QImage& source)
{
    const QImage image = source.convertToFormat(QImage::Format_RGB32);
    TBitmap bitmap(image.width(), image.height());
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(bitmap.PixelRow(y), image.constScanLine(y), size_t(image.width()) * 4);
    picture.Assign(bitmap);
}

class TDemoWindow : public QWidget {
public:
    TDemoWindow()
    {
        setWindowTitle("Mirel transition widget");
        pictures_ = {Sunset(), Tiles(), Rings()};

        auto* stage = new QWidget;
        stage->setMinimumSize(400, 300);
        QPalette dark = stage->palette();
        dark.setColor(QPalette::Window, QColor(24, 24, 28));
        stage->setPalette(dark);
        view_ = new TTransitionView(stage);
        view_->SetAlign(alClient);
        view_->SetCenter(true);

        style_ = new QComboBox;
        for (int s = 0; s <= MaxShowStyle; ++s)
            style_->addItem(QString("%1  %2").arg(s).arg(QString::fromUtf8(StyleName(s).data())));
        style_->setCurrentIndex(view_->Style());
        random_ = new QCheckBox("random style at each picture");
        step_ = SpinBox(1, 100, view_->Step());
        delay_ = SpinBox(0, 1000, view_->Delay());
        reverse_ = new QCheckBox("Reverse");
        center_ = new QCheckBox("Center");
        center_->setChecked(true);
        stretch_ = new QCheckBox("Stretch");
        stretchFine_ = new QCheckBox("StretchFine (keep aspect)");
        threaded_ = new QCheckBox("Threaded");
        threaded_->setChecked(true);
        manual_ = new QCheckBox("Manual");
        progress_ = new QSlider(Qt::Horizontal);
        progress_->setRange(0, 100);
        auto* next = new QPushButton("Next picture");
        auto* open = new QPushButton("Open picture...");
        auto* stop = new QPushButton("Stop");
        status_ = new QLabel;
        status_->setWordWrap(true);

        auto* form = new QFormLayout;
        form->addRow("Style", style_);
        form->addRow("", random_);
        form->addRow("Step %", step_);
        form->addRow("Delay ms", delay_);
        form->addRow("", reverse_);
        form->addRow("", center_);
        form->addRow("", stretch_);
        form->addRow("", stretchFine_);
        form->addRow("", threaded_);
        form->addRow("", manual_);
        form->addRow("Progress", progress_);
        auto* panel = new QVBoxLayout;
        panel->addLayout(form);
        panel->addWidget(next);
        panel->addWidget(open);
        panel->addWidget(stop);
        panel->addWidget(status_);
        panel->addStretch();
        auto* panelWidget = new QWidget;
        panelWidget->setLayout(panel);
        panelWidget->setFixedWidth(300);
        auto* layout = new QHBoxLayout(this);
        layout->addWidget(panelWidget);
        layout->addWidget(stage, 1);

        connect(style_, &QComboBox::currentIndexChanged, this, [this](int i) { view_->SetStyle(i); });
        connect(step_, &QSpinBox::valueChanged, this, [this](int v) { view_->SetStep(v); });
        connect(delay_, &QSpinBox::valueChanged, this, [this](int v) { view_->SetDelay(v); });
        connect(reverse_, &QCheckBox::toggled, this, [this](bool on) { view_->SetReverse(on); });
        connect(center_, &QCheckBox::toggled, this, [this](bool on) { view_->SetCenter(on); });
        connect(stretch_, &QCheckBox::toggled, this, [this](bool on) { view_->SetStretch(on); });
        connect(stretchFine_, &QCheckBox::toggled, this, [this](bool on) { view_->SetStretchFine(on); });
        connect(threaded_, &QCheckBox::toggled, this, [this](bool on) { view_->SetThreaded(on); });
        connect(manual_, &QCheckBox::toggled, this, [this](bool on) { view_->SetManual(on); });
        connect(progress_, &QSlider::valueChanged, this, [this](int v) {
            if (view_->Manual())
                view_->SetProgress(v);
        });
        connect(next, &QPushButton::clicked, this, [this] { ShowNext(); });
        connect(open, &QPushButton::clicked, this, [this] { OpenPicture(); });
        connect(stop, &QPushButton::clicked, this, [this] { view_->Stop(); });

        // OnProgress runs on the worker thread in threaded mode: the window
        // is updated from the GUI thread.
        view_->OnProgress = [this](QObject*) {
            QMetaObject::invokeMethod(this, [this] { ShowStatus(); }, Qt::QueuedConnection);
        };
        view_->OnStop = [this](QObject*) { ShowStatus(); };
        AssignImage(view_->Picture(), pictures_[0]);
        ShowStatus();
    }

    void Start() { view_->Execute(); }

    void ShowNext()
    {
        index_ = (index_ + 1) % int(pictures_.size());
        AssignImage(view_->Picture(), pictures_[size_t(index_)]);
        Run();
    }

    // Holds a hand-run transition to the next picture at progress percent.
    void Hold(int progress)
    {
        manual_->setChecked(true);
        ShowNext();
        progress_->setValue(progress);
    }

    void SetStyle(int style) { style_->setCurrentIndex(style); }

private:
    static QSpinBox* SpinBox(int lo, int hi, int value)
    {
        auto* box = new QSpinBox;
        box->setRange(lo, hi);
        box->setValue(value);
        return box;
    }

    void Run()
    {
        if (view_->Busy())
            view_->Stop();
        if (random_->isChecked())
            style_->setCurrentIndex(std::uniform_int_distribution<int>(1, MaxShowStyle)(rng_));
        view_->Execute();
        ShowStatus();
    }

    void OpenPicture()
    {
        const QString path = QFileDialog::getOpenFileName(this, "Open picture", QString(),
                                                          "Pictures (*.jpg *.jpeg *.bmp *.ico *.png)");
        if (path.isEmpty())
            return;
        try {
            view_->Picture().LoadFromFile(path);
        } catch (const TDecodeError& e) {
            QMessageBox::warning(this, "Open picture", QString::fromLocal8Bit(e.what()));
            return;
        }
        Run();
    }

    void ShowStatus()
    {
        status_->setText(QString("Style %1: %2\nProgress %3%%4")
                             .arg(view_->Style())
                             .arg(view_->StyleName())
                             .arg(view_->Progress())
                             .arg(view_->Busy() ? "" : " (idle)"));
        if (!view_->Manual()) {
            const QSignalBlocker block(progress_);
            progress_->setValue(view_->Progress());
        }
    }

    TTransitionView* view_;
    QComboBox* style_;
    QCheckBox* random_;
    QSpinBox* step_;
    QSpinBox* delay_;
    QCheckBox* reverse_;
    QCheckBox* center_;
    QCheckBox* stretch_;
    QCheckBox* stretchFine_;
    QCheckBox* threaded_;
    QCheckBox* manual_;
    QSlider* progress_;
    QLabel* status_;
    std::vector<QImage> pictures_;
    int index_ = 0;
    std::mt19937 rng_{std::random_device{}()};
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption effect("effect", "Transition style, 0 .. 150.", "N");
    const QCommandLineOption hold("hold", "Hold the second transition at P percent.", "P");
    const QCommandLineOption quitAfter("quit-after", "Close after MS milliseconds.", "MS");
    parser.addOptions({effect, hold, quitAfter});
    parser.process(app);

    SetExceptionHandler([](const QString& message) { QMessageBox::warning(nullptr, "Mirel", message); });

    TDemoWindow window;
    window.resize(1200, 720);
    if (parser.isSet(effect))
        window.SetStyle(parser.value(effect).toInt());
    window.show();
    QTimer::singleShot(100, &window, [&] { window.Start(); });
    if (parser.isSet(hold))
        QTimer::singleShot(1600, &window, [&] { window.Hold(parser.value(hold).toInt()); });
    if (parser.isSet(quitAfter))
        QTimer::singleShot(parser.value(quitAfter).toInt(), &app, &QApplication::quit);
    return app.exec();
}
