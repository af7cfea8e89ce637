// The preview's controls: badge, button, segmented picker, slider, disclosure section, progress.
#include "PreviewViews/Badge.h"
#include "PreviewViews/GlassControl.h"
#include "RenderSupport.h"
#include "Toolkit/Appearance.h"
#include "Toolkit/DisclosureSection.h"
#include "Toolkit/SegmentedPicker.h"
#include "Toolkit/Slider.h"
#include "Toolkit/SpinningProgress.h"
#include "Toolkit/Typography.h"

#include <QAccessible>
#include <QApplication>
#include <QFontMetricsF>
#include <QLabel>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

using namespace vaun;
using vaun::test::colorDistance;
using vaun::test::over;
using vaun::test::PaintRecorder;
using vaun::test::render;

namespace {

// Pixels of `image` inside `area` (in image pixels) within `tolerance` of `color`.
int countNear(const QImage& image, const QRect& area, const QColor& color, int tolerance) {
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (colorDistance(image.pixelColor(x, y), color) <= tolerance) ++count;
    return count;
}

// The darkest lightness in `area`: where text is drawn, how strongly.
int darkest(const QImage& image, const QRect& area) {
    int result = 255;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) result = std::min(result, image.pixelColor(x, y).lightness());
    return result;
}

void sendMouse(QWidget& widget, QEvent::Type type, QPointF position, Qt::MouseButtons buttons) {
    QMouseEvent event(type, position, widget.mapToGlobal(position), Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(&widget, &event);
}

void clickAt(QWidget& container, QPoint position) {
    QWidget* target = container.childAt(position);
    if (!target) target = &container;
    QTest::mouseClick(target, Qt::LeftButton, Qt::NoModifier, target->mapFrom(&container, position));
}

void press(QWidget& widget, Qt::Key key) { QTest::keyClick(&widget, key); }


} // namespace

// --- Badge -------------------------------------------------------------------------------------

TEST(Badge, SizesToItsTextWithPadding) {
    Badge badge("RF64");
    QFont font = systemFont(10, FontWeight::semibold);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 0.3);
    const QFontMetricsF metrics(font);
    EXPECT_NEAR(badge.sizeHint().width(), metrics.horizontalAdvance("RF64") + 14, 1.0);
    EXPECT_NEAR(badge.sizeHint().height(), metrics.height() + 4, 1.0);
    // Tracking widens the text beyond the untracked font.
    EXPECT_GT(metrics.horizontalAdvance("RF64"), QFontMetricsF(systemFont(10, FontWeight::semibold)).horizontalAdvance("RF64"));

    const int shortWidth = badge.sizeHint().width();
    badge.setText("ADM BWF · 12 tracks");
    EXPECT_GT(badge.sizeHint().width(), shortWidth * 2);
    EXPECT_EQ(badge.accessibleName(), "ADM BWF · 12 tracks");
}

TEST(Badge, DrawsBlueTextOnAPaleBlueCapsule) {
    for (ColorScheme scheme : {ColorScheme::light, ColorScheme::dark}) {
        Badge badge("Dolby metadata");
        const QSize size = badge.sizeHint();
        const QImage image = render(badge, size, scheme, 2);
        const Appearance& look = Appearance::of(scheme);
        const QColor fill = over(withOpacity(look.blue, 0.12), look.windowBackground);
        // Padding at the left end of the capsule, middle height.
        EXPECT_LE(colorDistance(image.pixelColor(6, size.height()), fill), 3);
        // Capsule corners are rounded away: the window shows through.
        EXPECT_LE(colorDistance(image.pixelColor(0, 0), look.windowBackground), 3);
        // Text in blue, inside the padding only.
        const QRect text(14, 4, size.width() * 2 - 28, size.height() * 2 - 8);
        EXPECT_GT(countNear(image, text, look.blue, 40), 20);
        EXPECT_EQ(countNear(image, QRect(0, 0, 12, size.height() * 2), look.blue, 40), 0);
    }
}

// --- GlassControl ------------------------------------------------------------------------------

TEST(GlassControl, ProminentIsFilledBluePlainIsBordered) {
    for (ColorScheme scheme : {ColorScheme::light, ColorScheme::dark}) {
        const Appearance& look = Appearance::of(scheme);
        GlassControl prominent(true);
        GlassControl plain(false);
        const QImage filled = render(prominent, QSize(78, 28), scheme, 2);
        const QImage bordered = render(plain, QSize(78, 28), scheme, 2);
        EXPECT_LE(colorDistance(filled.pixelColor(78, 28), look.blue), 3);
        EXPECT_LE(colorDistance(bordered.pixelColor(78, 28), look.controlBackground), 3);
        EXPECT_GT(colorDistance(bordered.pixelColor(78, 28), look.blue), 60);
        // A capsule: the corners show the window; the straight edge of the plain one has a hairline.
        EXPECT_LE(colorDistance(filled.pixelColor(1, 1), look.windowBackground), 3);
        EXPECT_GT(colorDistance(bordered.pixelColor(78, 1), look.controlBackground), 6);
    }
}

TEST(GlassControl, LabelsAreWhiteOnProminentAndPrimaryOnPlain) {
    GlassControl play("Play", true);
    play.setSymbol("play.fill");
    play.setFont(systemFont(13, FontWeight::semibold));
    const QImage image = render(play, QSize(78, 28), ColorScheme::light, 2);
    EXPECT_GT(countNear(image, QRect(20, 10, 116, 36), QColor(255, 255, 255), 30), 40);

    GlassControl stop(false);
    stop.setSymbol("stop.fill");
    const QImage plain = render(stop, QSize(28, 28), ColorScheme::dark, 2);
    // The stop square in the middle, in the (flattened) primary label colour.
    const QColor ink = over(Appearance::of(ColorScheme::dark).primaryLabel, Appearance::of(ColorScheme::dark).controlBackground);
    EXPECT_LE(colorDistance(plain.pixelColor(28, 28), ink), 6);
}

TEST(GlassControl, DisabledDimsAndIgnoresClicks) {
    const Appearance& look = Appearance::of(ColorScheme::light);
    GlassControl button(true);
    QSignalSpy clicks(&button, &QAbstractButton::clicked);
    button.resize(60, 28);
    QTest::mouseClick(&button, Qt::LeftButton, Qt::NoModifier, QPoint(30, 14));
    EXPECT_EQ(clicks.size(), 1);

    button.setEnabled(false);
    QTest::mouseClick(&button, Qt::LeftButton, Qt::NoModifier, QPoint(30, 14));
    EXPECT_EQ(clicks.size(), 1);
    const QImage image = render(button, QSize(60, 28));
    const QColor centre = image.pixelColor(30, 14);
    EXPECT_GT(colorDistance(centre, look.blue), 40);
    EXPECT_LE(colorDistance(centre, over(withOpacity(look.blue, 0.45), look.windowBackground)), 4);
}

TEST(GlassControl, KeyboardActivatesIt) {
    GlassControl button("Analyse this file", false);
    QSignalSpy clicks(&button, &QAbstractButton::clicked);
    EXPECT_NE(button.focusPolicy() & Qt::TabFocus, 0);
    QTest::keyClick(&button, Qt::Key_Space);
    EXPECT_EQ(clicks.size(), 1);
}

TEST(GlassControl, SizeHintFollowsContentAndControlSize) {
    GlassControl button("Open Audio File…", true);
    const QSize regular = button.sizeHint();
    button.setControlSize(GlassControl::ControlSize::large);
    const QSize large = button.sizeHint();
    EXPECT_GT(large.height(), regular.height());
    EXPECT_GT(large.width(), regular.width());
    EXPECT_GT(large.width(), QFontMetricsF(button.labelFont()).horizontalAdvance("Open Audio File…"));

    GlassControl withSymbol("Play", true);
    const int textOnly = withSymbol.sizeHint().width();
    withSymbol.setSymbol("play.fill");
    EXPECT_GT(withSymbol.sizeHint().width(), textOnly);

    // An explicit font wins over the control size's.
    button.setFont(systemFont(20));
    EXPECT_EQ(button.labelFont().pixelSize(), 20);
    // A fixed frame wins over the hint.
    GlassControl folder(false);
    folder.setSymbol("folder");
    folder.setFixedSize(24, 24);
    folder.setAccessibleName("Open audio file");
    EXPECT_EQ(folder.size(), QSize(24, 24));
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&folder);
    ASSERT_NE(accessible, nullptr);
    EXPECT_EQ(accessible->text(QAccessible::Name), "Open audio file");
    EXPECT_EQ(accessible->role(), QAccessible::Button);
}

// --- SegmentedPicker ---------------------------------------------------------------------------

namespace {

std::unique_ptr<SegmentedPicker> modePicker() {
    auto picker = std::make_unique<SegmentedPicker>(QStringList{"Waveform", "Channels", "Spectrum"});
    picker->resize(picker->sizeHint());
    picker->show(); // lays the segments out
    EXPECT_TRUE(QTest::qWaitForWindowExposed(picker.get()));
    return picker;
}

} // namespace

TEST(SegmentedPicker, ADisabledSegmentCannotBeClicked) {
    auto picker = modePicker();
    picker->setSegmentEnabled(1, false);
    QSignalSpy changes(picker.get(), &SegmentedPicker::currentIndexChanged);
    EXPECT_EQ(picker->currentIndex(), 0);

    clickAt(*picker, picker->segmentRect(1).center());
    EXPECT_EQ(picker->currentIndex(), 0);
    EXPECT_EQ(changes.size(), 0);

    clickAt(*picker, picker->segmentRect(2).center());
    EXPECT_EQ(picker->currentIndex(), 2);
    ASSERT_EQ(changes.size(), 1);
    EXPECT_EQ(changes[0][0].toInt(), 2);

    clickAt(*picker, picker->segmentRect(2).center()); // already selected
    EXPECT_EQ(changes.size(), 1);

    picker->setSegmentEnabled(1, true);
    clickAt(*picker, picker->segmentRect(1).center());
    EXPECT_EQ(picker->currentIndex(), 1);
    EXPECT_EQ(changes.size(), 2);
}

TEST(SegmentedPicker, ArrowKeysSkipDisabledSegments) {
    auto picker = modePicker();
    picker->setSegmentEnabled(1, false);
    QSignalSpy changes(picker.get(), &SegmentedPicker::currentIndexChanged);
    press(*picker, Qt::Key_Right);
    EXPECT_EQ(picker->currentIndex(), 2);
    press(*picker, Qt::Key_Right); // at the end
    EXPECT_EQ(picker->currentIndex(), 2);
    press(*picker, Qt::Key_Left);
    EXPECT_EQ(picker->currentIndex(), 0);
    press(*picker, Qt::Key_Left);
    EXPECT_EQ(changes.size(), 2);

    picker->setSegmentEnabled(2, false);
    press(*picker, Qt::Key_Right); // nothing left to move to
    EXPECT_EQ(picker->currentIndex(), 0);
    EXPECT_EQ(changes.size(), 2);
}

TEST(SegmentedPicker, ProgrammaticChangesSignalOnlyRealChanges) {
    auto picker = modePicker();
    picker->setSegmentEnabled(1, false);
    QSignalSpy changes(picker.get(), &SegmentedPicker::currentIndexChanged);
    picker->setCurrentIndex(0);
    picker->setCurrentIndex(7);
    picker->setCurrentIndex(-1);
    EXPECT_EQ(changes.size(), 0);
    // The owner may show a value the user could not pick.
    picker->setCurrentIndex(1);
    EXPECT_EQ(picker->currentIndex(), 1);
    EXPECT_EQ(changes.size(), 1);
}

TEST(SegmentedPicker, ScreenReadersSeeEachSegmentAndItsState) {
    auto picker = modePicker();
    picker->setSegmentEnabled(1, false);
    picker->setCurrentIndex(2);
    picker->setToolTip("Waveform: all channels · Channels: one lane per speaker · Spectrum: frequency over time");
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(picker.get());
    ASSERT_NE(accessible, nullptr);
    ASSERT_EQ(accessible->childCount(), 3);
    const QStringList titles{"Waveform", "Channels", "Spectrum"};
    for (int i = 0; i < 3; ++i) {
        QAccessibleInterface* segment = accessible->child(i);
        ASSERT_NE(segment, nullptr);
        EXPECT_EQ(segment->text(QAccessible::Name), titles[i]);
        EXPECT_EQ(bool(segment->state().checked), i == 2) << i;
        EXPECT_EQ(bool(segment->state().disabled), i == 1) << i;
    }
}

TEST(SegmentedPicker, SizesToItsTitlesAndDrawsTheStates) {
    auto picker = modePicker();
    const QFontMetricsF metrics(picker->font());
    const double titles = metrics.horizontalAdvance("Waveform") + metrics.horizontalAdvance("Channels") +
                          metrics.horizontalAdvance("Spectrum");
    EXPECT_GT(picker->sizeHint().width(), titles + 3 * 12);
    EXPECT_LT(picker->sizeHint().width(), titles + 3 * 40);
    EXPECT_GE(picker->sizeHint().height(), 20);
    EXPECT_GT(picker->segmentRect(0).width(), picker->segmentRect(2).width() - 8);

    picker->setSegmentEnabled(1, false);
    const QSize size = picker->sizeHint();
    const QImage image = render(*picker, size, ColorScheme::light, 2);
    auto area = [&](int i) {
        const QRect r = picker->segmentRect(i);
        return QRect(r.left() * 2 + 8, 8, r.width() * 2 - 16, size.height() * 2 - 16);
    };
    // The selected segment is raised in the control background; the others sit on the track.
    const QPoint knob(picker->segmentRect(0).left() * 2 + 8, size.height());
    EXPECT_LE(colorDistance(image.pixelColor(knob), Appearance::of(ColorScheme::light).controlBackground), 3);
    const QPoint track(picker->segmentRect(2).left() * 2 + 8, size.height());
    EXPECT_GT(colorDistance(image.pixelColor(track), Appearance::of(ColorScheme::light).controlBackground), 8);
    // The disabled title is drawn fainter than the enabled ones.
    EXPECT_GT(darkest(image, area(1)), darkest(image, area(2)) + 40);
}

// --- Slider ------------------------------------------------------------------------------------

TEST(Slider, UserDragsReportValuesProgrammaticMovesDoNot) {
    Slider slider;
    slider.resize(213, 16);
    QSignalSpy changes(&slider, &Slider::valueChanged);
    slider.setValue(0.3);
    slider.setValue(2.0);
    EXPECT_EQ(slider.value(), 1.0);
    slider.setValue(0);
    EXPECT_EQ(changes.size(), 0);

    sendMouse(slider, QEvent::MouseButtonPress, QPointF(slider.knobCentre(0.25), 8), Qt::LeftButton);
    EXPECT_TRUE(slider.isDragging());
    sendMouse(slider, QEvent::MouseMove, QPointF(slider.knobCentre(0.75), 8), Qt::LeftButton);
    sendMouse(slider, QEvent::MouseButtonRelease, QPointF(400, 8), Qt::NoButton);
    EXPECT_FALSE(slider.isDragging());
    ASSERT_EQ(changes.size(), 3);
    EXPECT_NEAR(changes[0][0].toDouble(), 0.25, 1e-9);
    EXPECT_NEAR(changes[1][0].toDouble(), 0.75, 1e-9);
    EXPECT_EQ(changes[2][0].toDouble(), 1.0); // dragged past the end
    EXPECT_EQ(slider.value(), 1.0);

    // Moving without a press is no change.
    sendMouse(slider, QEvent::MouseMove, QPointF(20, 8), Qt::NoButton);
    EXPECT_EQ(changes.size(), 3);
}

TEST(Slider, KeysStepTheValue) {
    Slider slider;
    slider.resize(200, 16);
    QSignalSpy changes(&slider, &Slider::valueChanged);
    press(slider, Qt::Key_Right);
    EXPECT_NEAR(slider.value(), Slider::kKeyStep, 1e-9);
    press(slider, Qt::Key_PageUp);
    EXPECT_NEAR(slider.value(), Slider::kKeyStep + Slider::kPageStep, 1e-9);
    press(slider, Qt::Key_End);
    EXPECT_EQ(slider.value(), 1.0);
    press(slider, Qt::Key_Right); // already at the end
    press(slider, Qt::Key_Home);
    EXPECT_EQ(slider.value(), 0.0);
    EXPECT_EQ(changes.size(), 4);
}

TEST(Slider, ScreenReadersReadTheOwnersValueText) {
    Slider slider;
    slider.setAccessibleName("Playback position");
    slider.setValue(0.5);
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&slider);
    ASSERT_NE(accessible, nullptr);
    EXPECT_EQ(accessible->role(), QAccessible::Slider);
    EXPECT_EQ(accessible->text(QAccessible::Name), "Playback position");
    EXPECT_EQ(accessible->text(QAccessible::Value), "50%");
    slider.setAccessibleValueText("1:07");
    EXPECT_EQ(accessible->text(QAccessible::Value), "1:07");
    QAccessibleValueInterface* value = accessible->valueInterface();
    ASSERT_NE(value, nullptr);
    EXPECT_DOUBLE_EQ(value->currentValue().toDouble(), 0.5);
    // Assistive technology moving the slider is the user moving it.
    QSignalSpy changes(&slider, &Slider::valueChanged);
    value->setCurrentValue(0.2);
    ASSERT_EQ(changes.size(), 1);
    EXPECT_DOUBLE_EQ(slider.value(), 0.2);
}

TEST(Slider, FillsBlueUpToTheKnob) {
    for (ColorScheme scheme : {ColorScheme::light, ColorScheme::dark}) {
        const Appearance& look = Appearance::of(scheme);
        Slider slider;
        slider.setValue(0.5);
        const QImage image = render(slider, QSize(200, 16), scheme, 2);
        EXPECT_LE(colorDistance(image.pixelColor(2 * 40, 16), look.blue), 4);
        const QColor rest = image.pixelColor(2 * 160, 16);
        EXPECT_GT(colorDistance(rest, look.blue), 60);
        EXPECT_GT(colorDistance(rest, look.windowBackground), 10); // the track is visible
        // The knob: a light disc at the value.
        EXPECT_GT(image.pixelColor(int(2 * slider.knobCentre(0.5)), 16).lightness(), 190);
    }
}

TEST(Slider, MovingTheKnobRepaintsOnlyTheStripItCrosses) {
    Slider slider;
    slider.resize(400, 16);
    slider.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&slider));
    slider.setValue(0.4);
    QApplication::processEvents();
    PaintRecorder recorder(slider);
    slider.setValue(0.42);
    QApplication::processEvents();
    ASSERT_FALSE(recorder.painted.isEmpty());
    EXPECT_LT(recorder.painted.boundingRect().width(), 40);
    EXPECT_TRUE(recorder.painted.boundingRect().contains(int(slider.knobCentre(0.42)), 8));
}

// --- DisclosureSection ------------------------------------------------------------------------

TEST(DisclosureSection, HeaderTogglesContentAndSignalsOnlyChanges) {
    DisclosureSection section("File details", "info.circle");
    auto* content = std::make_unique<QLabel>("Duration").release();
    section.setContent(content);
    section.resize(300, 120);
    QSignalSpy changes(&section, &DisclosureSection::expandedChanged);
    EXPECT_FALSE(section.isExpanded());
    EXPECT_FALSE(content->isVisibleTo(&section));

    QTest::mouseClick(&section.header(), Qt::LeftButton);
    EXPECT_TRUE(section.isExpanded());
    EXPECT_TRUE(content->isVisibleTo(&section));
    ASSERT_EQ(changes.size(), 1);
    EXPECT_TRUE(changes[0][0].toBool());

    section.setExpanded(true); // bound model echoing the same value
    EXPECT_EQ(changes.size(), 1);
    section.setExpanded(false);
    EXPECT_FALSE(content->isVisibleTo(&section));
    ASSERT_EQ(changes.size(), 2);
    EXPECT_FALSE(changes[1][0].toBool());
    EXPECT_FALSE(section.header().isChecked());
}

TEST(DisclosureSection, KeyboardAndScreenReadersOperateIt) {
    DisclosureSection section("Recording metadata", "waveform.badge.mic");
    section.setContent(std::make_unique<QLabel>("Scene").release());
    DisclosureHeader& header = section.header();
    EXPECT_NE(header.focusPolicy() & Qt::TabFocus, 0);
    QTest::keyClick(&header, Qt::Key_Space);
    EXPECT_TRUE(section.isExpanded());
    QTest::keyClick(&header, Qt::Key_Left);
    EXPECT_FALSE(section.isExpanded());
    QTest::keyClick(&header, Qt::Key_Right);
    EXPECT_TRUE(section.isExpanded());
    QTest::keyClick(&header, Qt::Key_Return);
    EXPECT_FALSE(section.isExpanded());

    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&header);
    ASSERT_NE(accessible, nullptr);
    EXPECT_EQ(accessible->text(QAccessible::Name), "Recording metadata");
    EXPECT_TRUE(accessible->state().checkable);
    EXPECT_FALSE(accessible->state().checked);
    section.setExpanded(true);
    EXPECT_TRUE(accessible->state().checked);
}

TEST(DisclosureSection, ReplacingContentKeepsTheExpandedState) {
    DisclosureSection section("File details");
    section.setExpanded(true);
    auto* first = std::make_unique<QLabel>("one").release();
    section.setContent(first);
    EXPECT_TRUE(first->isVisibleTo(&section));
    QPointer<QLabel> old(first);
    auto* second = std::make_unique<QLabel>("two").release();
    section.setContent(second);
    EXPECT_TRUE(second->isVisibleTo(&section));
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(old.isNull());
}

TEST(DisclosureSection, ChevronPointsRightThenDown) {
    DisclosureSection section("File details");
    section.setContent(std::make_unique<QLabel>("x").release());
    const QSize size(200, section.header().sizeHint().height());
    // The chevron's ink: wider than tall when pointing down, taller than wide when pointing right.
    auto inkBounds = [&](const QImage& image) {
        QRect bounds;
        const QColor background = Appearance::of(ColorScheme::light).windowBackground;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < 28; ++x)
                if (colorDistance(image.pixelColor(x, y), background) > 40) bounds |= QRect(x, y, 1, 1);
        return bounds;
    };
    const QRect right = inkBounds(render(section.header(), size, ColorScheme::light, 2));
    section.setExpanded(true);
    const QRect down = inkBounds(render(section.header(), size, ColorScheme::light, 2));
    ASSERT_FALSE(right.isEmpty());
    ASSERT_FALSE(down.isEmpty());
    EXPECT_GT(right.height(), right.width());
    EXPECT_GT(down.width(), down.height());
}

// --- progress -----------------------------------------------------------------------------------

TEST(SpinningProgress, AnimatesOnlyWhileVisible) {
    SpinningProgress spinner("Reading audio…");
    EXPECT_FALSE(spinner.isAnimating());
    spinner.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&spinner));
    EXPECT_TRUE(spinner.isAnimating());
    const int phase = spinner.phase();
    QTest::qWait(SpinningProgress::kStepMs * 3);
    EXPECT_NE(spinner.phase(), phase);
    spinner.hide();
    EXPECT_FALSE(spinner.isAnimating());
    const int stopped = spinner.phase();
    QTest::qWait(SpinningProgress::kStepMs * 3);
    EXPECT_EQ(spinner.phase(), stopped);
}

TEST(SpinningProgress, ShowsItsLabelUnderTheIndicator) {
    SpinningProgress spinner("Reading audio…");
    const QSize size = spinner.sizeHint();
    EXPECT_GE(size.width(), QFontMetricsF(spinner.font()).horizontalAdvance("Reading audio…"));
    EXPECT_GT(size.height(), SpinningProgress::kIndicatorSize + 10);
    EXPECT_EQ(spinner.accessibleName(), "Reading audio…");
    const QImage image = render(spinner, size, ColorScheme::light, 1);
    const int labelTop = SpinningProgress::kIndicatorSize + 4;
    EXPECT_LT(darkest(image, QRect(0, labelTop, size.width(), size.height() - labelTop)), 150);
    EXPECT_LT(darkest(image, spinner.indicatorRect()), 150);
    SpinningProgress bare;
    EXPECT_EQ(bare.sizeHint(), QSize(SpinningProgress::kIndicatorSize, SpinningProgress::kIndicatorSize));
}

TEST(LinearProgress, FillsBlueInProportion) {
    LinearProgress bar;
    EXPECT_EQ(bar.sizeHint(), QSize(160, LinearProgress::kTrackHeight));
    bar.setValue(1.7);
    EXPECT_EQ(bar.value(), 1.0);
    bar.setValue(0.5);
    const Appearance& look = Appearance::of(ColorScheme::light);
    const QImage image = render(bar, QSize(160, 6), ColorScheme::light, 2);
    EXPECT_LE(colorDistance(image.pixelColor(2 * 40, 6), look.blue), 3);
    EXPECT_LE(colorDistance(image.pixelColor(2 * 78, 6), look.blue), 3);
    const QColor track = image.pixelColor(2 * 120, 6);
    EXPECT_GT(colorDistance(track, look.blue), 60);
    EXPECT_GT(colorDistance(track, look.windowBackground), 8);

    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&bar);
    ASSERT_NE(accessible, nullptr);
    EXPECT_EQ(accessible->role(), QAccessible::ProgressBar);
    EXPECT_EQ(accessible->text(QAccessible::Value), "50%");
}
