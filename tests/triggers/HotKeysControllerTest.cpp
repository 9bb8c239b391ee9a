#include "triggers/HotKeysController.h"
#include "support/FakeHotkeyRegistrar.h"
#include "triggers/HotKey.h"

#include <gtest/gtest.h>

using namespace pierline;
using pierline::test::FakeHotkeyRegistrar;

namespace {

class HotKeysControllerTest : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(HotKeysController::entryCount(), 0u) << "a test leaked a registry entry"; }

    FakeHotkeyRegistrar registrar;
    const KeyCombo cmdOne{Key::one, kCocoaCommandFlag};
    int downs = 0;
    int ups = 0;
    HotKey::Handler countDown = [this] { ++downs; };
    HotKey::Handler countUp = [this] { ++ups; };
};

} // namespace

TEST_F(HotKeysControllerTest, PressAndReleaseReachTheirHandlersAndIdsCountUp) {
    const quint32 before = HotKeysController::lastIssuedId();
    auto hotKey = HotKey::create(cmdOne, countDown, countUp);
    auto other = HotKey::create(KeyCombo(Key::f8, kCocoaControlFlag | kCocoaShiftFlag));

    ASSERT_EQ(registrar.registrations().size(), 2u);
    EXPECT_EQ(registrar.registrations()[0].id, (HotkeyId{HotKeysController::kSignature, before + 1}));
    EXPECT_EQ(registrar.registrations()[1].id, (HotkeyId{HotKeysController::kSignature, before + 2}));
    EXPECT_EQ(registrar.registrations()[1].carbonModifiers, kCarbonControlKey | kCarbonShiftKey);

    EXPECT_EQ(registrar.press(cmdOne), HotkeyEventResult::Handled);
    EXPECT_EQ(registrar.release(cmdOne), HotkeyEventResult::Handled);
    EXPECT_EQ(downs, 1);
    EXPECT_EQ(ups, 1);
    // No handler (the program assigns the key-down handler after construction): passed on.
    EXPECT_EQ(registrar.press(other->keyCombo()), HotkeyEventResult::NotHandled);
    other->setKeyDownHandler(countDown);
    EXPECT_EQ(registrar.press(other->keyCombo()), HotkeyEventResult::Handled);
    EXPECT_EQ(registrar.release(other->keyCombo()), HotkeyEventResult::NotHandled);
    EXPECT_EQ(downs, 2);
}

TEST_F(HotKeysControllerTest, PauseUnregistersAndResumeRegistersOnceUnderANewId) {
    auto hotKey = HotKey::create(cmdOne, countDown);
    const quint32 firstId = HotKeysController::entry(hotKey->identifier())->carbonHotKeyID;
    const HotkeyId firstEventId{HotKeysController::kSignature, firstId};

    hotKey->setPaused(false); // already registered: nothing happens
    EXPECT_EQ(registrar.registerCalls, 1);
    EXPECT_EQ(HotKeysController::entryCount(), 1u);

    hotKey->setPaused(true);
    EXPECT_FALSE(registrar.isRegistered(cmdOne));
    EXPECT_FALSE(HotKeysController::entry(hotKey->identifier()));
    EXPECT_EQ(registrar.press(cmdOne), std::nullopt);
    EXPECT_EQ(registrar.deliver(firstEventId, HotkeyEventKind::Pressed), HotkeyEventResult::NotHandled);
    EXPECT_EQ(downs, 0);

    hotKey->setPaused(false);
    hotKey->setPaused(false);
    EXPECT_EQ(registrar.registerCalls, 2);
    const quint32 secondId = HotKeysController::entry(hotKey->identifier())->carbonHotKeyID;
    EXPECT_GT(secondId, firstId);
    EXPECT_EQ(registrar.deliver(firstEventId, HotkeyEventKind::Pressed), HotkeyEventResult::NotHandled);
    EXPECT_EQ(registrar.press(cmdOne), HotkeyEventResult::Handled);
    EXPECT_EQ(downs, 1);
}

TEST_F(HotKeysControllerTest, RefusedRegistrationStaysSilentUntilReleased) {
    registrar.refuse(cmdOne);
    auto hotKey = HotKey::create(cmdOne, countDown);
    const auto entry = HotKeysController::entry(hotKey->identifier());
    ASSERT_TRUE(entry);
    EXPECT_FALSE(entry->reference);
    EXPECT_EQ(registrar.press(cmdOne), std::nullopt);
    EXPECT_EQ(downs, 0);

    hotKey.reset();
    EXPECT_EQ(HotKeysController::entryCount(), 0u);
    EXPECT_EQ(registrar.unregisterCalls, 0); // nothing was registered, so nothing to unregister
}

TEST_F(HotKeysControllerTest, ForeignAndStaleEventsArePassedOn) {
    auto hotKey = HotKey::create(cmdOne, countDown, countUp);
    const quint32 id = HotKeysController::entry(hotKey->identifier())->carbonHotKeyID;
    EXPECT_EQ(registrar.deliver({0x41424344, id}, HotkeyEventKind::Pressed), HotkeyEventResult::NotHandled);
    EXPECT_EQ(registrar.deliver({HotKeysController::kSignature, id + 1000}, HotkeyEventKind::Pressed),
              HotkeyEventResult::NotHandled);
    EXPECT_EQ(downs + ups, 0);

    hotKey.reset();
    EXPECT_EQ(registrar.unregisterCalls, 1);
    EXPECT_TRUE(registrar.registrations().empty());
    EXPECT_EQ(registrar.deliver({HotKeysController::kSignature, id}, HotkeyEventKind::Pressed),
              HotkeyEventResult::NotHandled);
}

TEST_F(HotKeysControllerTest, HandlerMayReleaseItsOwnHotKey) {
    std::shared_ptr<HotKey> hotKey;
    hotKey = HotKey::create(cmdOne, [&] {
        hotKey.reset();
        ++downs;
    });
    EXPECT_EQ(registrar.press(cmdOne), HotkeyEventResult::Handled);
    EXPECT_EQ(downs, 1);
    EXPECT_FALSE(registrar.isRegistered(cmdOne));
}
