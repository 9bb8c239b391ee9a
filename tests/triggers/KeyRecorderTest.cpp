#include "triggers/KeyRecorder.h"

#include "platform/ModifierMonitor.h"

#include <gtest/gtest.h>

using namespace pierline;
using Outcome = KeyRecorder::Outcome;

namespace {

constexpr quint32 kOption = 58;
constexpr quint32 kControl = 59;
constexpr quint32 kKeyOne = 18;

} // namespace

TEST(KeyRecorder, KeyDownRecordsTheKeyWithItsDeviceIndependentModifiers) {
    struct Case {
        quint32 code;
        quint64 flags;
        quint64 stored;
    };
    const Case cases[] = {
        {kKeyOne, 0, 0},
        {kKeyOne, kCocoaCommandFlag | kCocoaOptionFlag, kCocoaCommandFlag | kCocoaOptionFlag},
        // Device-dependent low bits (left/right side) are not part of the combination.
        {0, kCocoaShiftFlag | 0x102, kCocoaShiftFlag},
        {102, kCocoaControlFlag, kCocoaControlFlag}, // a code no Key names is still recorded
    };
    for (const Case& c : cases) {
        for (bool modifierOnly : {false, true}) {
            KeyRecorder recorder(modifierOnly);
            EXPECT_EQ(recorder.keyDown(c.code, c.flags), Outcome::Recorded);
            EXPECT_EQ(recorder.combination(), (KeyCombination{c.code, c.stored}));
            EXPECT_FALSE(recorder.isRecording());
            // Over after one recording: later keys change nothing.
            EXPECT_EQ(recorder.keyDown(0, 0), Outcome::Ignored);
            EXPECT_EQ(recorder.combination(), (KeyCombination{c.code, c.stored}));
        }
    }
}

TEST(KeyRecorder, EscapeCancelsWhateverModifiersAreHeld) {
    KeyRecorder recorder(true);
    EXPECT_EQ(recorder.flagsChanged(kCocoaOptionFlag, kOption, 1.0), Outcome::Ignored);
    EXPECT_EQ(recorder.keyDown(KeyRecorder::kEscapeKeyCode, kCocoaOptionFlag), Outcome::Cancelled);
    EXPECT_FALSE(recorder.isRecording());
    EXPECT_EQ(recorder.combination(), std::nullopt);
    // The pending Option must not turn into a tap after the cancel.
    EXPECT_EQ(recorder.flagsChanged(0, kOption, 1.1), Outcome::Ignored);
    EXPECT_EQ(recorder.combination(), std::nullopt);
}

TEST(KeyRecorder, ModifierTaps) {
    struct Step {
        quint64 flags;
        quint32 code;
        double at;
    };
    struct Case {
        const char* name;
        bool allowModifierOnly;
        std::vector<Step> steps;
        std::optional<KeyCombination> recorded;
    };
    const Case cases[] = {
        {"quick Option tap", true, {{kCocoaOptionFlag, kOption, 0.0}, {0, kOption, 0.3}}, KeyCombination{kOption, 0}},
        {"just under the limit",
         true,
         {{kCocoaOptionFlag, kOption, 0.0}, {0, kOption, 1.99}},
         KeyCombination{kOption, 0}},
        {"held exactly two seconds", true, {{kCocoaOptionFlag, kOption, 0.0}, {0, kOption, 2.0}}, std::nullopt},
        {"held 2.5 seconds", true, {{kCocoaOptionFlag, kOption, 0.0}, {0, kOption, 2.5}}, std::nullopt},
        {"not allowed", false, {{kCocoaOptionFlag, kOption, 0.0}, {0, kOption, 0.1}}, std::nullopt},
        {"release without a press", true, {{0, kOption, 0.1}}, std::nullopt},
        // Control then Option, both released: the last one that went down counts, with no modifiers.
        {"two modifiers",
         true,
         {{kCocoaControlFlag, kControl, 0.0},
          {kCocoaControlFlag | kCocoaOptionFlag, kOption, 0.1},
          {kCocoaOptionFlag, kControl, 0.2},
          {0, kOption, 0.3}},
         KeyCombination{kOption, 0}},
        // The time counts from the last modifier that went down.
        {"long hold then quick second key",
         true,
         {{kCocoaControlFlag, kControl, 0.0}, {kCocoaControlFlag | kCocoaOptionFlag, kOption, 3.0}, {0, kOption, 3.2}},
         KeyCombination{kOption, 0}},
        // A stray release after a long hold must not replay the hold; the next tap still records.
        {"long hold, stray release, then Shift",
         true,
         {{kCocoaOptionFlag, kOption, 0.0},
          {0, kOption, 2.5},
          {0, kOption, 2.6},
          {kCocoaShiftFlag, 56, 3.0},
          {0, 56, 3.1}},
         KeyCombination{56, 0}},
    };
    for (const Case& c : cases) {
        KeyRecorder recorder(c.allowModifierOnly);
        for (const Step& step : c.steps)
            recorder.flagsChanged(step.flags, step.code, step.at);
        EXPECT_EQ(recorder.combination(), c.recorded) << c.name;
        EXPECT_EQ(recorder.isRecording(), !c.recorded.has_value()) << c.name;
    }
}
