// Cut answers through both protocols' parse hooks as the receive loop calls
// them: from one reused slot that still holds the whole answer. No sockets.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/brannoc_search.h"
#include "core/morvain_search.h"
#include "tests/core/answers.h"

namespace quorvex {
namespace {

constexpr std::uint32_t kInterface = 0x0A4D000A;  // 10.0.77.10

class TextPort : public MorvainSearch {
public:
    TextPort() : MorvainSearch(0x1A2B) {}  // answers::kClient
    using MorvainSearch::ParseAnswer;
};
class BinaryPort : public BrannocSearch {
public:
    using BrannocSearch::ParseAnswer;
};

void Keep(const DeviceEntry* entry, void* context, std::int32_t) {
    static_cast<std::vector<DeviceEntry>*>(context)->push_back(*entry);
}

TEST(HostileDatagram, AReusedReceiveSlotShowsNothingOfTheDatagramBefore) {
    std::vector<std::uint8_t> slot(65536, 0);  // as large as a receive batch's
    std::vector<DeviceEntry> delivered;

    // Every cut of a text answer: a value counts only when its line end
    // arrived, though the rest of the answer lies in the slot behind the cut.
    const std::string text = answers::Text();
    std::copy(text.begin(), text.end(), slot.begin());
    TextPort text_port;
    text_port.SetCallback(&Keep, &delivered, 0);
    text_port.ParseAnswer(std::span(slot).first(text.size()), kInterface);
    ASSERT_EQ(delivered.size(), 1u);
    const DeviceEntry whole = delivered[0];
    const auto values = answers::Texts(whole.info);
    const auto arrived = [&](std::string_view line, std::size_t cut) {
        return text.find(std::string(line) + "\r\n") + line.size() + 2 <= cut;
    };
    for (std::size_t cut = 0; cut <= text.size(); ++cut) {
        SCOPED_TRACE(cut);
        delivered.clear();
        text_port.ParseAnswer(std::span(slot).first(cut), kInterface);
        // Without the whole MAC there is no device.
        ASSERT_EQ(delivered.size(), arrived("MAC:00:1a:2b:3c:4d:5e", cut) ? 1u : 0u);
        if (delivered.empty()) continue;
        const DeviceInfo& info = delivered[0].info;
        const auto texts = answers::Texts(info);
        for (std::size_t i = 0; i < 10; ++i)  // user and password are never sent
            EXPECT_EQ(texts[i], arrived(values[i], cut) ? values[i] : "") << "field " << i;
        EXPECT_EQ(info.http_port, arrived("Http-Port:8080", cut) ? 8080 : 0);
        EXPECT_EQ(DeviceKey(info), DeviceKey(whole.info));
    }

    // Every cut of a binary answer reads as a fresh copy of what arrived; a
    // cut before the end of the MAC is no device.
    const auto binary = answers::Binary();
    std::copy(binary.begin(), binary.end(), slot.begin());
    BinaryPort binary_port;
    binary_port.SetCallback(&Keep, &delivered, 0);
    for (std::size_t cut = 0; cut <= binary.size(); ++cut) {
        SCOPED_TRACE(cut);
        delivered.clear();
        binary_port.ParseAnswer(std::span(slot).first(cut), kInterface);
        const std::vector<std::uint8_t> fresh(binary.begin(), binary.begin() + cut);
        const auto expected = BrannocSearch::ParseAnswerBytes(fresh, kInterface);
        ASSERT_EQ(delivered.size(), cut >= 90 ? 1u : 0u);
        EXPECT_TRUE(!expected || SameContents(delivered[0], *expected));
    }
}

}  // namespace
}  // namespace quorvex
