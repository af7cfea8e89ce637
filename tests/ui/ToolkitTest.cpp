// Symbols, the application's pictures, following the desktop's appearance, and palette changes.
#include "PreviewViews/Badge.h"
#include "PreviewViews/GlassControl.h"
#include "PreviewViews/VaunArt.h"
#include "RenderSupport.h"
#include "Toolkit/Appearance.h"
#include "Toolkit/DesktopAppearance.h"
#include "Toolkit/DevicePixels.h"
#include "Toolkit/Symbols.h"
#include "Toolkit/Typography.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QPainter>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <memory>

using namespace vaun;
using vaun::test::colorDistance;
using vaun::test::over;

namespace {

const QStringList kSymbolNames = {
    "waveform", "play.fill", "pause.fill", "stop.fill", "folder", "headphones", "hifispeaker.2",
    "exclamationmark.circle", "exclamationmark.triangle", "exclamationmark.triangle.fill", "info.circle",
    "waveform.badge.mic", "waveform.badge.exclamationmark"};

struct Coverage {
    int inked = 0;       // pixels at least half covered
    int offTint = 0;     // of those, pixels whose colour is not the tint
    QRect bounds;        // of the inked pixels
};

Coverage coverage(const QImage& image, const QColor& tint) {
    Coverage result;
    const QImage plain = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < plain.height(); ++y)
        for (int x = 0; x < plain.width(); ++x) {
            const QColor pixel = plain.pixelColor(x, y);
            if (pixel.alpha() < 128) continue;
            ++result.inked;
            result.bounds |= QRect(x, y, 1, 1);
            if (colorDistance(pixel, tint) > 8) ++result.offTint;
        }
    return result;
}

} // namespace

TEST(Symbols, EveryNameRendersVisiblyInItsTint) {
    const QColor tint(200, 30, 90);
    QList<QImage> images;
    for (const QString& name : kSymbolNames) {
        SCOPED_TRACE(name.toStdString());
        ASSERT_TRUE(Symbols::exists(name));
        const QImage image = Symbols::image(name, tint, QSizeF(24, 24), 2);
        ASSERT_EQ(image.size(), QSize(48, 48));
        EXPECT_EQ(image.devicePixelRatio(), 2);
        const Coverage ink = coverage(image, tint);
        // Recognisable: a real share of the square is drawn, but not all of it.
        EXPECT_GT(ink.inked, 48 * 48 / 25);
        EXPECT_LT(ink.inked, 48 * 48 * 8 / 10);
        EXPECT_EQ(ink.offTint, 0);
        // Uses the square: no symbol is a speck in a corner.
        EXPECT_GE(ink.bounds.width(), 24);
        EXPECT_GE(ink.bounds.height(), 24);
        EXPECT_NEAR(ink.bounds.center().x(), 24, 3);
        EXPECT_NEAR(ink.bounds.center().y(), 24, 3);
        images.append(image);
    }
    for (int a = 0; a < images.size(); ++a)
        for (int b = a + 1; b < images.size(); ++b)
            EXPECT_NE(images[a], images[b]) << kSymbolNames[a].toStdString() << " looks like " << kSymbolNames[b].toStdString();
}

TEST(Symbols, StayReadableAtTwelvePoints) {
    for (const QString& name : kSymbolNames) {
        const Coverage ink = coverage(Symbols::image(name, Qt::black, QSizeF(12, 12), 1), Qt::black);
        EXPECT_GT(ink.inked, 10) << name.toStdString();
    }
}

TEST(Symbols, UnknownNamesDrawNothing) {
    EXPECT_FALSE(Symbols::exists("no.such.symbol"));
    EXPECT_TRUE(Symbols::image("no.such.symbol", Qt::black, QSizeF(24, 24), 1).isNull());
    QImage canvas(40, 40, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::white);
    const QImage before = canvas;
    QPainter painter(&canvas);
    Symbols::draw(painter, QRectF(0, 0, 40, 40), "no.such.symbol", Qt::black);
    painter.end();
    EXPECT_EQ(canvas, before);
    EXPECT_TRUE(Symbols::image("waveform", Qt::black, QSizeF(0, 24), 1).isNull());
}

TEST(Symbols, DrawKeepsTheAspectCentredAtTheDeviceResolution) {
    QImage canvas(QSize(96, 24) * 2, QImage::Format_ARGB32_Premultiplied);
    canvas.setDevicePixelRatio(2);
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    Symbols::draw(painter, QRectF(0, 0, 96, 24), "stop.fill", QColor(0, 122, 255));
    painter.end();
    const Coverage ink = coverage(canvas, QColor(0, 122, 255));
    ASSERT_GT(ink.inked, 0);
    // A square symbol in a wide rectangle: drawn in the middle 24 × 24 points only.
    EXPECT_GE(ink.bounds.left(), 72);
    EXPECT_LE(ink.bounds.right(), 120);
    EXPECT_NEAR(ink.bounds.center().x(), 96, 2);
    EXPECT_EQ(ink.offTint, 0);
}

TEST(Symbols, IconRendersTintedAtAnySize) {
    const QIcon icon = Symbols::icon("folder", QColor(255, 0, 0));
    EXPECT_FALSE(icon.isNull());
    for (int side : {16, 32}) {
        const QImage image = icon.pixmap(QSize(side, side)).toImage();
        const Coverage ink = coverage(image, QColor(255, 0, 0));
        EXPECT_GT(ink.inked, side) << side;
        EXPECT_EQ(ink.offTint, 0) << side;
    }
}

TEST(VaunArt, ResourcesArePresentAtTwoPixelsPerPoint) {
    struct Resource {
        const char* name;
        const std::optional<QImage>& image;
    };
    for (const Resource& resource : {Resource{"artwork-light", VaunArt::artworkLight()},
                                     Resource{"artwork-dark", VaunArt::artworkDark()},
                                     Resource{"meter-plate-light", VaunArt::plateLight()},
                                     Resource{"meter-plate-dark", VaunArt::plateDark()}}) {
        SCOPED_TRACE(resource.name);
        ASSERT_TRUE(resource.image.has_value());
        EXPECT_EQ(resource.image->devicePixelRatio(), 2);
        EXPECT_EQ(resource.image->deviceIndependentSize(), QSizeF(resource.image->size()) / 2);
        EXPECT_TRUE(VaunArt::image(resource.name).has_value());
    }
    // The plates are stretched with 14-point caps on every side: there must be a middle to stretch.
    EXPECT_GT(VaunArt::plateLight()->deviceIndependentSize().width(), 28);
    EXPECT_GT(VaunArt::plateDark()->deviceIndependentSize().height(), 28);
    // Cover art fills its square; plates have rounded, transparent corners.
    EXPECT_EQ(VaunArt::artworkLight()->pixelColor(0, 0).alpha(), 255);
    EXPECT_EQ(VaunArt::plateLight()->pixelColor(0, 0).alpha(), 0);
    const QPoint middle(VaunArt::plateDark()->width() / 2, VaunArt::plateDark()->height() / 2);
    EXPECT_EQ(VaunArt::plateDark()->pixelColor(middle).alpha(), 255);
    // Each pair follows its appearance.
    EXPECT_GT(VaunArt::plateLight()->pixelColor(middle).lightness(), 200);
    EXPECT_LT(VaunArt::plateDark()->pixelColor(middle).lightness(), 80);
    EXPECT_GT(VaunArt::artworkLight()->pixelColor(10, 128).lightness(),
              VaunArt::artworkDark()->pixelColor(10, 128).lightness() + 100);
    // Loaded once: the same image every time.
    EXPECT_EQ(&VaunArt::plateDark(), &VaunArt::plateDark());
}

TEST(VaunArt, LoadsAnyPngAsHalfItsPixelSizeInPoints) {
    QTemporaryDir directory;
    ASSERT_TRUE(directory.isValid());
    QImage picture(200, 200, QImage::Format_ARGB32);
    picture.fill(QColor(20, 40, 60));
    const QString path = directory.filePath("picture.png");
    ASSERT_TRUE(picture.save(path));

    const std::optional<QImage> loaded = VaunArt::load(path);
    ASSERT_TRUE(loaded.has_value());
    EXPECT_EQ(loaded->size(), QSize(200, 200));
    EXPECT_EQ(loaded->deviceIndependentSize(), QSizeF(100, 100));

    EXPECT_FALSE(VaunArt::load(directory.filePath("missing.png")).has_value());
    QFile garbage(directory.filePath("garbage.png"));
    ASSERT_TRUE(garbage.open(QIODevice::WriteOnly));
    garbage.write("not a picture");
    garbage.close();
    EXPECT_FALSE(VaunArt::load(garbage.fileName()).has_value());
    EXPECT_FALSE(VaunArt::image("no-such-resource").has_value());
}

// --- following the desktop -------------------------------------------------------------------

TEST(DesktopAppearance, ReadsThePortalsColorSchemeValues) {
    using DA = DesktopAppearance;
    EXPECT_EQ(DA::fromPortalValue(QVariant(1u)), ColorScheme::dark);
    EXPECT_EQ(DA::fromPortalValue(QVariant(2u)), ColorScheme::light);
    EXPECT_EQ(DA::fromPortalValue(QVariant(0u)), std::nullopt);
    EXPECT_EQ(DA::fromPortalValue(QVariant(7u)), std::nullopt);
    EXPECT_EQ(DA::fromPortalValue(QVariant()), std::nullopt);
    EXPECT_EQ(DA::fromPortalValue(QVariant(QStringLiteral("dark"))), std::nullopt);
    // ReadOne wraps the value once, Read twice.
    const QVariant once = QVariant::fromValue(QDBusVariant(1u));
    EXPECT_EQ(DA::fromPortalValue(once), ColorScheme::dark);
    EXPECT_EQ(DA::fromPortalValue(QVariant::fromValue(QDBusVariant(once))), ColorScheme::dark);
}

namespace {

// Sets the application palette for one scope.
class ApplicationPalette {
public:
    explicit ApplicationPalette(ColorScheme scheme) : saved_(QApplication::palette()) {
        QApplication::setPalette(Appearance::of(scheme).palette());
    }
    ~ApplicationPalette() { QApplication::setPalette(saved_); }
    ApplicationPalette(const ApplicationPalette&) = delete;
    ApplicationPalette& operator=(const ApplicationPalette&) = delete;

private:
    QPalette saved_;
};

// The application's side of the private bus; named connections are shared, so each ends with its test.
class ClientBus {
public:
    explicit ClientBus(const QString& address) : connection_(QDBusConnection::connectToBus(address, kName)) {}
    ~ClientBus() { QDBusConnection::disconnectFromBus(kName); }
    ClientBus(const ClientBus&) = delete;
    ClientBus& operator=(const ClientBus&) = delete;

    const QDBusConnection& connection() const { return connection_; }

private:
    static constexpr const char* kName = "vaun-portal-client";
    QDBusConnection connection_;
};

} // namespace

TEST(DesktopAppearance, WithoutASessionBusFollowsTheApplicationPalette) {
    // Nothing listens at this address; the first use of the session bus in this process.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/vaun-test-bus");
    ApplicationPalette palette(ColorScheme::dark);
    QElapsedTimer clock;
    clock.start();
    DesktopAppearance appearance;
    EXPECT_LT(clock.elapsed(), DesktopAppearance::kCallTimeoutMs * 2);
    EXPECT_EQ(appearance.colorScheme(), ColorScheme::dark);

    QSignalSpy changes(&appearance, &DesktopAppearance::colorSchemeChanged);
    QApplication::setPalette(Appearance::of(ColorScheme::light).palette());
    ASSERT_EQ(changes.size(), 1);
    EXPECT_EQ(changes[0][0].value<ColorScheme>(), ColorScheme::light);
    EXPECT_EQ(appearance.colorScheme(), ColorScheme::light);
    // The same scheme again is no change.
    QApplication::setPalette(Appearance::of(ColorScheme::light).palette());
    EXPECT_EQ(changes.size(), 1);
}

TEST(DesktopAppearance, FollowKeepsARootWidgetInStep) {
    ApplicationPalette palette(ColorScheme::light);
    ClientBus nowhere("unix:path=/nonexistent/vaun-test-bus");
    ASSERT_FALSE(nowhere.connection().isConnected());
    DesktopAppearance appearance(nowhere.connection());
    auto root = std::make_unique<QWidget>();
    auto* child = std::make_unique<QWidget>(root.get()).release();
    applyColorScheme(*root, ColorScheme::dark);
    appearance.follow(*root);
    EXPECT_EQ(colorScheme(*child), ColorScheme::light);
    QApplication::setPalette(Appearance::of(ColorScheme::dark).palette());
    EXPECT_EQ(colorScheme(*child), ColorScheme::dark);
    root.reset(); // a followed widget may go away first
    QApplication::setPalette(Appearance::of(ColorScheme::light).palette());
    EXPECT_EQ(appearance.colorScheme(), ColorScheme::light);
}

namespace {

// A private message bus for one test, so a test portal can be put on it.
class PrivateBus {
public:
    PrivateBus() {
        const QString program = QStandardPaths::findExecutable("dbus-daemon");
        if (program.isEmpty()) return;
        daemon_.start(program, {"--session", "--nofork", "--print-address=1"});
        if (!daemon_.waitForStarted(3000)) return;
        while (address_.isEmpty() && daemon_.waitForReadyRead(3000))
            address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    }
    ~PrivateBus() {
        daemon_.kill();
        daemon_.waitForFinished(3000);
    }
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    const QString& address() const { return address_; }

private:
    QProcess daemon_;
    QString address_;
};

// The settings portal of an older desktop: Read only, the value wrapped twice.
class OldSettingsPortal : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Settings")
public:
    explicit OldSettingsPortal(uint value) : value_(value) {}

public slots:
    QDBusVariant Read(const QString& nameSpace, const QString& key) {
        return QDBusVariant(QVariant::fromValue(answer(nameSpace, key)));
    }

protected:
    QDBusVariant answer(const QString& nameSpace, const QString& key) const {
        const bool asked = nameSpace == "org.freedesktop.appearance" && key == "color-scheme";
        return QDBusVariant(asked ? value_ : 0u);
    }

private:
    uint value_;
};

class SettingsPortal : public OldSettingsPortal {
    Q_OBJECT
public:
    using OldSettingsPortal::OldSettingsPortal;

public slots:
    QDBusVariant ReadOne(const QString& nameSpace, const QString& key) { return answer(nameSpace, key); }
};

constexpr const char* kPortalService = "org.freedesktop.portal.Desktop";
constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";

// A portal object answering from its own thread, published on a private bus.
class PortalOnBus {
public:
    PortalOnBus(const QString& address, std::unique_ptr<QObject> portal, bool answering)
        : service_(QDBusConnection::connectToBus(address, "vaun-portal-service")), portal_(std::move(portal)) {
        // A portal living on this (the caller's) thread cannot answer while the caller waits.
        if (answering) {
            thread_.start();
            portal_->moveToThread(&thread_);
        }
        service_.registerObject(kPortalPath, portal_.get(), QDBusConnection::ExportAllSlots);
        service_.registerService(kPortalService);
    }
    ~PortalOnBus() {
        service_.unregisterObject(kPortalPath);
        thread_.quit();
        thread_.wait();
        portal_.reset();
        QDBusConnection::disconnectFromBus("vaun-portal-service");
    }
    PortalOnBus(const PortalOnBus&) = delete;
    PortalOnBus& operator=(const PortalOnBus&) = delete;

    bool isConnected() const { return service_.isConnected(); }

    void announce(uint value) {
        QDBusMessage signal = QDBusMessage::createSignal(kPortalPath, "org.freedesktop.portal.Settings", "SettingChanged");
        signal << QStringLiteral("org.freedesktop.appearance") << QStringLiteral("color-scheme")
               << QVariant::fromValue(QDBusVariant(value));
        service_.send(signal);
    }

private:
    QDBusConnection service_;
    QThread thread_;
    std::unique_ptr<QObject> portal_;
};

} // namespace

TEST(DesktopAppearance, ThePortalsPreferenceWinsOverThePaletteAndItsChangesArrive) {
    PrivateBus bus;
    if (bus.address().isEmpty()) GTEST_SKIP() << "no dbus-daemon to host a test portal";
    PortalOnBus portal(bus.address(), std::make_unique<SettingsPortal>(1u), true);
    ASSERT_TRUE(portal.isConnected());
    ApplicationPalette palette(ColorScheme::light);

    ClientBus client(bus.address());
    DesktopAppearance appearance(client.connection());
    EXPECT_EQ(appearance.colorScheme(), ColorScheme::dark);

    QSignalSpy changes(&appearance, &DesktopAppearance::colorSchemeChanged);
    // While the portal states a preference, the palette does not decide.
    QApplication::setPalette(Appearance::of(ColorScheme::dark).palette());
    QApplication::setPalette(Appearance::of(ColorScheme::light).palette());
    EXPECT_EQ(changes.size(), 0);

    // The subscription reaches the bus asynchronously, so the first announcement may be missed;
    // a desktop announces each change once, but repeating an unchanged value is harmless.
    auto announceUntilHeard = [&](uint value) {
        const qsizetype before = changes.size();
        for (int attempt = 0; attempt < 30 && changes.size() == before; ++attempt) {
            portal.announce(value);
            changes.wait(100);
        }
        return changes.size() > before;
    };
    ASSERT_TRUE(announceUntilHeard(2u));
    EXPECT_EQ(changes[0][0].value<ColorScheme>(), ColorScheme::light);
    // "No preference" hands the decision back to the palette.
    QApplication::setPalette(Appearance::of(ColorScheme::dark).palette());
    ASSERT_TRUE(announceUntilHeard(0u));
    EXPECT_EQ(appearance.colorScheme(), ColorScheme::dark);
}

TEST(DesktopAppearance, FallsBackToReadOnOlderPortals) {
    PrivateBus bus;
    if (bus.address().isEmpty()) GTEST_SKIP() << "no dbus-daemon to host a test portal";
    PortalOnBus portal(bus.address(), std::make_unique<OldSettingsPortal>(1u), true);
    ApplicationPalette palette(ColorScheme::light);
    ClientBus client(bus.address());
    DesktopAppearance appearance(client.connection());
    EXPECT_EQ(appearance.colorScheme(), ColorScheme::dark);
}

TEST(DesktopAppearance, AFrozenPortalCostsNoMoreThanTheTimeout) {
    PrivateBus bus;
    if (bus.address().isEmpty()) GTEST_SKIP() << "no dbus-daemon to host a test portal";
    PortalOnBus portal(bus.address(), std::make_unique<SettingsPortal>(1u), false);
    ApplicationPalette palette(ColorScheme::light);
    ClientBus client(bus.address());
    QElapsedTimer clock;
    clock.start();
    DesktopAppearance appearance(client.connection());
    const qint64 elapsed = clock.elapsed();
    EXPECT_GE(elapsed, DesktopAppearance::kCallTimeoutMs - 50); // it did ask, and waited
    EXPECT_LE(elapsed, 500 + 100);
    EXPECT_EQ(appearance.colorScheme(), ColorScheme::light);
}

// --- palette changes reach drawn views -------------------------------------------------------

TEST(Appearance, SwitchingTheRootRepaintsChildControlsInTheOtherColours) {
    QWidget root;
    auto* layout = std::make_unique<QHBoxLayout>(&root).release();
    layout->setContentsMargins(0, 0, 0, 0);
    auto* badge = std::make_unique<Badge>("RF64").release();
    auto* button = std::make_unique<GlassControl>(false).release();
    button->setFixedSize(40, 28);
    layout->addWidget(badge);
    layout->addWidget(button);
    layout->addStretch();

    for (ColorScheme scheme : {ColorScheme::light, ColorScheme::dark, ColorScheme::light}) {
        const QImage image = vaun::test::render(root, QSize(200, 28), scheme);
        const Appearance& look = Appearance::of(scheme);
        const QColor badgeFill = image.pixelColor(badge->geometry().topLeft() + QPoint(3, badge->height() / 2));
        const QColor buttonFill = image.pixelColor(button->geometry().center());
        EXPECT_LE(colorDistance(badgeFill, over(withOpacity(look.blue, Badge::kFillOpacity), look.windowBackground)), 3);
        EXPECT_LE(colorDistance(buttonFill, look.controlBackground), 3);
    }
}

#include "ToolkitTest.moc"

// --- Typography --------------------------------------------------------------------------------

TEST(Typography, PointSizesArePixelSizesInTheInstalledSystemFamily) {
    // The set-up installs Inter; without it the views would quietly fall back to another face.
    EXPECT_EQ(systemFontFamily(), QStringLiteral("Inter"));
    const QFont title = systemFont(22, FontWeight::semibold);
    EXPECT_EQ(title.pixelSize(), 22);
    EXPECT_EQ(QFontInfo(title).family(), QStringLiteral("Inter"));
    EXPECT_GT(QFontInfo(systemFont(10, FontWeight::bold)).weight(), QFontInfo(systemFont(10)).weight());
    EXPECT_EQ(systemFont(TextStyle::caption).pixelSize(), 10);
}

TEST(Typography, MonospacedDigitsHaveOneAdvance) {
    const QFontMetricsF metrics(systemFont(12, FontWeight::medium, FontDesign::monospacedDigits));
    const qreal zero = metrics.horizontalAdvance(QLatin1Char('0'));
    for (char digit = '1'; digit <= '9'; ++digit)
        EXPECT_NEAR(metrics.horizontalAdvance(QLatin1Char(digit)), zero, 0.01) << digit;
    const QFontMetricsF fixed(systemFont(12, FontWeight::regular, FontDesign::monospaced));
    EXPECT_NEAR(fixed.horizontalAdvance(QLatin1Char('i')), fixed.horizontalAdvance(QLatin1Char('W')), 0.01);
}

TEST(Typography, TheApplicationFontBecomesTheSystemFont) {
    const QFont before = QApplication::font();
    useSystemFontForApplication();
    EXPECT_EQ(QApplication::font().family(), systemFontFamily());
    EXPECT_EQ(QApplication::font().pixelSize(), 13);
    QApplication::setFont(before);
}

// --- Device pixels -----------------------------------------------------------------------------

namespace {
class RatioProbe : public QWidget {
public:
    qreal painted = 0;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painted = paintedPixelRatio(painter);
    }
};
} // namespace

TEST(DevicePixels, CachesFollowTheDeviceActuallyPaintedNotTheWidgetsScreen) {
    // Rendering into a 2x image must not reuse 1x pictures scaled up (blurry gallery and previews).
    RatioProbe probe;
    test::render(probe, QSize(20, 10), ColorScheme::light, 2);
    EXPECT_EQ(probe.painted, 2);
    EXPECT_EQ(probe.devicePixelRatioF(), 1);
    EXPECT_DOUBLE_EQ(snapToPixel(10.74, 2), 10.5);
    EXPECT_DOUBLE_EQ(snapToPixel(10.5, 2), 10.5);
}
