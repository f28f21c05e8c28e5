#include <gtest/gtest.h>

#include <numeric>
#include <utility>
#include <vector>

#include "gui/Application.h"
#include "gui/Headless.h"
#include "util/Bleeper.h"
#include "util/pres.h"

namespace {

// Records tones and port writes instead of sounding them; restores the real ones after.
class Sounds : public testing::Test {
protected:
    void SetUp() override {
        gui::headless::ClearBoxes();
        SetToneCall([this](std::uint32_t f, std::uint32_t ms) {
            tones.push_back({f, ms});
            events.push_back("tone");
        });
        SetPortWriter([this](std::uint16_t port, std::uint8_t v) { ports.push_back({port, v}); });
        gui::headless::OnMessageBox(
            [this](const gui::headless::MessageBoxRecord&) { events.push_back("box"); });
    }
    void TearDown() override {
        SetToneCall({});
        SetPortWriter({});
        gui::headless::OnMessageBox({});
        IsNtPlatform = true;
        SoundsEnabled = true;
        gui::headless::ClearBoxes();
    }
    std::vector<std::pair<std::uint32_t, std::uint32_t>> tones;
    std::vector<std::pair<std::uint16_t, std::uint8_t>> ports;
    std::vector<std::string> events;
};

TEST_F(Sounds, ReportIfShowsTheBoxOnlyWhenTheConditionHolds) {
    EXPECT_FALSE(ReportIf(false, L"nic", 0, 2));
    EXPECT_TRUE(gui::headless::Boxes().empty());
    EXPECT_TRUE(tones.empty());

    EXPECT_TRUE(ReportIf(true, L"Wskazany Program nie może byc uruchomiony !", 8, 2));
    auto boxes = gui::headless::TakeBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].kind, gui::MsgKind::Information);
    EXPECT_EQ(boxes[0].text, L"Wskazany Program nie może byc uruchomiony !");
    EXPECT_TRUE(tones.empty());

    events.clear();
    EXPECT_TRUE(ReportIf(true, L"x", 0, 1)); // the tone plays to its end before the box
    EXPECT_EQ(events, (std::vector<std::string>{"tone", "box"}));
    EXPECT_EQ(tones, (std::vector<std::pair<std::uint32_t, std::uint32_t>>{{55, 200}}));
    boxes = gui::headless::TakeBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].kind, gui::MsgKind::Error);
}

TEST_F(Sounds, ShowInfoIsAnInformationBox) {
    ShowInfo(L"Wykonano korektę adresu Serwera Aktualizacji !");
    auto boxes = gui::headless::TakeBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].kind, gui::MsgKind::Information);
    EXPECT_EQ(boxes[0].caption, gui::MessageBoxCaption(gui::MsgKind::Information));
    gui::ShowMessageBox(gui::MsgKind::Plain, L"p");
    EXPECT_EQ(gui::headless::TakeBoxes().at(0).caption, gui::Application::Instance().Title());
}

TEST_F(Sounds, EachKindPlaysItsSequenceAndOthersNothing) {
    const std::uint32_t lengths[8] = {200, 366, 380, 158, 330, 500, 1000, 1000};
    const std::size_t counts[8] = {1, 4, 4, 4, 3, 8, 21, 21};
    for (std::uint8_t kind = 0; kind < 8; ++kind) {
        tones.clear();
        SoundSignal(kind);
        std::uint32_t total = 0;
        for (auto& t : tones)
            total += t.second;
        EXPECT_EQ(total, lengths[kind]) << int(kind);
        EXPECT_EQ(tones.size(), counts[kind]) << int(kind);
    }
    tones.clear();
    SoundSignal(6);
    EXPECT_EQ(tones[1].first, 200u);
    EXPECT_EQ(tones[20].first, 580u);
    SoundSignal(7);
    EXPECT_EQ(tones[21].first, 580u);
    EXPECT_EQ(tones.back().first, 55u);
    tones.clear();
    SoundSignal(8);
    SoundSignal(9);
    SoundsEnabled = false;
    SoundSignal(0);
    EXPECT_TRUE(tones.empty());
}

TEST_F(Sounds, PlayToneRangeFailures) {
    struct Case {
        bool nt;
        std::uint16_t frequency;
        std::int32_t ms;
        const wchar_t* failure; // nullptr: plays
    };
    const Case cases[] = {
        {true, 36, 10, L"Bleeper: Freq < 37"},
        {true, 37, 10, nullptr},
        {false, 36, 10, nullptr},
        {false, 19, 10, L"Bleeper: Freq < 20"},
        {true, 20001, 10, L"Bleeper: Freq > 20000"},
        {true, 20000, 10, nullptr},
        {true, 5, -2, L"Bleeper: MSecs < -1"},
        {false, 20001, -2, L"Bleeper: MSecs < -1"},
    };
    for (const auto& c : cases) {
        IsNtPlatform = c.nt;
        tones.clear();
        ports.clear();
        if (c.failure) {
            try {
                PlayTone(c.frequency, c.ms);
                ADD_FAILURE() << "no failure";
            } catch (const ERangeError& e) {
                EXPECT_EQ(e.Message(), c.failure);
            }
            EXPECT_TRUE(tones.empty() && ports.empty());
        } else {
            EXPECT_NO_THROW(PlayTone(c.frequency, c.ms));
            EXPECT_EQ(tones.size() + (ports.empty() ? 0 : 1), 1u);
        }
    }
}

TEST_F(Sounds, The9xFamilyDrivesTheSpeakerThroughTheTimerPorts) {
    IsNtPlatform = false;
    PlayTone(20, 0);
    const std::vector<std::pair<std::uint16_t, std::uint8_t>> expected = {
        {0x61, 3}, {0x43, 0xB6}, {0x42, 59659 & 0xFF}, {0x42, 59659 >> 8}, {0x61, 0}};
    EXPECT_EQ(ports, expected);
    ports.clear();
    PlayTone(1000, -1); // keeps sounding: no speaker-off write
    ASSERT_EQ(ports.size(), 4u);
    EXPECT_EQ(ports[2].second, 1193 & 0xFF);
}

} // namespace
