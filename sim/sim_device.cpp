#include "sim/sim_device.h"

#include <cstdio>

namespace quorvex::sim {

namespace {

// splitmix64: small, fast and fully determined by the seed.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t Next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int Below(int bound) { return static_cast<int>(Next() % static_cast<std::uint64_t>(bound)); }

private:
    std::uint64_t state_;
};

int CountDots(const std::string& text) {
    int dots = 0;
    for (char c : text)
        if (c == '.') ++dots;
    return dots;
}

std::string Dotted(int a, int b, int c, int d) {
    char text[32];
    std::snprintf(text, sizeof text, "%d.%d.%d.%d", a, b, c, d);
    return text;
}

}  // namespace

ReplyMode EffectiveReply(const SimDevice& device) {
    if (device.protocol == DeviceProtocol::kBinary && device.reply == ReplyMode::kMulticast)
        return ReplyMode::kBroadcast;
    if (device.protocol != DeviceProtocol::kBinary && device.reply == ReplyMode::kBroadcast)
        return ReplyMode::kMulticast;
    return device.reply;
}

bool ParseReplyMode(std::string_view text, ReplyMode& mode) {
    if (text == "unicast")
        mode = ReplyMode::kUnicast;
    else if (text == "broadcast")
        mode = ReplyMode::kBroadcast;
    else if (text == "multicast")
        mode = ReplyMode::kMulticast;
    else
        return false;
    return true;
}

bool ParseStandardBehaviour(std::string_view text, StandardSettings& settings) {
    settings.strict_gateway = text == "strict-gateway";
    settings.new_endpoint = text == "new-endpoint";
    settings.silent_move = text == "silent-move";
    if (text == "normal" || text == "strict-gateway" || text == "new-endpoint" ||
        text == "silent-move")
        settings.behaviour = StandardBehaviour::kNormal;
    else if (text == "reboot-needed")
        settings.behaviour = StandardBehaviour::kRebootNeeded;
    else if (text == "reverts")
        settings.behaviour = StandardBehaviour::kReverts;
    else if (text == "faults")
        settings.behaviour = StandardBehaviour::kFaults;
    else if (text == "huge")
        settings.behaviour = StandardBehaviour::kHuge;
    else if (text == "endless")
        settings.behaviour = StandardBehaviour::kEndless;
    else if (text == "trickle")
        settings.behaviour = StandardBehaviour::kTrickle;
    else if (text == "redirect")
        settings.behaviour = StandardBehaviour::kRedirect;
    else if (text == "html-error")
        settings.behaviour = StandardBehaviour::kHtmlError;
    else if (text == "doctype")
        settings.behaviour = StandardBehaviour::kDoctype;
    else if (text == "bad-utf8")
        settings.behaviour = StandardBehaviour::kBadUtf8;
    else
        return false;
    return true;
}

char FamilyLetter(const SimDevice& device) {
    if (device.protocol == DeviceProtocol::kText) return 'E';
    if (device.protocol == DeviceProtocol::kWsd) return 'W';
    int parts[4] = {0, 0, 0, 0};
    std::sscanf(device.software_version.c_str(), "%d.%d.%d.%d", &parts[0], &parts[1], &parts[2],
                &parts[3]);
    return parts[0] == 67 && parts[2] > 60 ? 'H' : 'J';
}

std::string HostAddress(const std::string& prefix, int first_host, int index) {
    if (CountDots(prefix) <= 2) {
        // Two-part prefix: 65,024 distinct hosts before it cycles.
        const int span = 254 * 256;
        const int n = (first_host + index) % span;
        return prefix + std::to_string(n / 254 + 1) + "." + std::to_string(n % 254 + 1);
    }
    const int low = first_host < 1 || first_host > 254 ? 1 : first_host;
    const int count = 255 - low;
    return prefix + std::to_string(low + index % count);
}

std::string MacText(const std::uint8_t (&mac)[6], char separator) {
    char text[18];
    std::snprintf(text, sizeof text, "%02X%c%02X%c%02X%c%02X%c%02X%c%02X", mac[0], separator,
                  mac[1], separator, mac[2], separator, mac[3], separator, mac[4], separator,
                  mac[5]);
    return text;
}

std::string MacHex(const std::uint8_t (&mac)[6]) {
    char text[13];
    std::snprintf(text, sizeof text, "%02X%02X%02X%02X%02X%02X", mac[0], mac[1], mac[2], mac[3],
                  mac[4], mac[5]);
    return text;
}

std::vector<SimDevice> GenerateDevices(const GeneratorSettings& s) {
    Random random(s.seed);
    // The low three bytes step through an odd multiple of the index: a
    // bijection on 24 bits, so no two devices of one run share a MAC.
    const std::uint8_t oui[3] = {0x02, static_cast<std::uint8_t>(random.Next()),
                                 static_cast<std::uint8_t>(random.Next())};
    const std::uint32_t base = static_cast<std::uint32_t>(random.Next());
    const std::uint32_t step = static_cast<std::uint32_t>(random.Next()) | 1u;

    const int total = s.binary_h + s.binary_j + s.text + s.wsd + s.standard;
    std::vector<SimDevice> devices;
    devices.reserve(static_cast<std::size_t>(total));
    int inside_index = 0;
    int outside_index = 0;
    for (int i = 0; i < total; ++i) {
        SimDevice d;
        char letter = 'H';
        if (i >= s.binary_h) letter = i < s.binary_h + s.binary_j ? 'J' : 'E';
        if (i >= s.binary_h + s.binary_j + s.text) letter = 'W';
        d.protocol = letter == 'E'   ? DeviceProtocol::kText
                     : letter == 'W' ? DeviceProtocol::kWsd
                                     : DeviceProtocol::kBinary;
        const std::uint32_t low = (base + static_cast<std::uint32_t>(i) * step) & 0xFFFFFFu;
        d.mac[0] = oui[0];
        d.mac[1] = oui[1];
        d.mac[2] = oui[2];
        d.mac[3] = static_cast<std::uint8_t>(low >> 16);
        d.mac[4] = static_cast<std::uint8_t>(low >> 8);
        d.mac[5] = static_cast<std::uint8_t>(low);

        const bool standard = i >= total - s.standard;
        char name[48];
        std::snprintf(name, sizeof name, "Camera %c%05d", standard ? 'S' : letter, i + 1);
        d.name = name;
        d.uid = "QVX" + MacHex(d.mac);
        if (d.protocol == DeviceProtocol::kText) d.device_id = "DEV" + MacHex(d.mac);
        const int text_index = i - s.binary_h - s.binary_j;
        d.wsd_too = letter == 'E' && text_index < s.wsd_dual;
        if (SpeaksWsd(d)) {
            const std::string hex = MacHex(d.mac);
            d.endpoint = "urn:uuid:5157" + hex.substr(0, 4) + "-" + hex.substr(4, 4) + "-4" +
                         hex.substr(8, 3) + "-8" + hex.substr(11, 1) + "00-00000000" +
                         std::to_string(1000 + i % 9000);
            d.hardware = "QX-" + std::to_string(100 + random.Below(900)) + "/B";
            d.location = "site/Hall " + std::to_string(1 + i % 7);
            static constexpr WsdStyle kStyles[] = {WsdStyle::kPlain, WsdStyle::kOdd,
                                                   WsdStyle::kIpv6First};
            d.wsd_style = s.wsd_mixed_styles ? kStyles[i % 3] : s.wsd_style;
        }
        if (standard) {
            d.wsd_style = WsdStyle::kPlain;
            d.standard = s.standard_settings;
            d.standard.on = true;
            const auto k = static_cast<std::size_t>(i - (total - s.standard));
            if (!s.standard_behaviours.empty())
                ParseStandardBehaviour(s.standard_behaviours[k % s.standard_behaviours.size()],
                                       d.standard);
            if (!s.standard_auths.empty())
                d.standard.auth = s.standard_auths[k % s.standard_auths.size()];
            d.service_path = d.standard.path;
        }

        // WS-Discovery cameras stay inside: the simulator sends from its own
        // address, so one on a factory address would be listed there instead.
        const int own_total = s.binary_h + s.binary_j + s.text;
        const bool outside = i < own_total && i >= own_total - s.outside;
        const std::string& prefix = outside ? s.outside_subnet : s.subnet;
        d.ip = HostAddress(prefix, s.first_host, outside ? outside_index++ : inside_index++);
        d.mask = CountDots(prefix) <= 2 ? "255.255.0.0" : "255.255.255.0";
        d.gateway = CountDots(prefix) <= 2 ? prefix + "0.1" : prefix + "1";
        d.dns1 = d.gateway;
        d.dns2 = "0.0.0.0";
        d.http_port = standard ? s.standard_port : 80;
        d.dhcp = 0;
        d.user = s.user;
        d.password = s.password;

        switch (letter) {
            case 'H':
                d.software_version =
                    Dotted(67, random.Below(10), 61 + random.Below(39), random.Below(100));
                d.aux_flag = static_cast<std::uint8_t>(random.Next());
                break;
            case 'J':
                // Either another first number or a third number of 60 or less.
                d.software_version =
                    random.Below(2) == 0
                        ? Dotted(66, random.Below(10), random.Below(100), random.Below(100))
                        : Dotted(67, random.Below(10), random.Below(61), random.Below(100));
                d.aux_flag = static_cast<std::uint8_t>(random.Next());
                break;
            default:
                d.software_version = "V5." + std::to_string(random.Below(10)) + "." +
                                     std::to_string(random.Below(100));
                break;
        }
        d.web_version =
            "3." + std::to_string(random.Below(10)) + "." + std::to_string(random.Below(100));

        if (s.mixed) {
            static constexpr ReplyMode kBinaryModes[] = {ReplyMode::kUnicast,
                                                         ReplyMode::kBroadcast};
            static constexpr ReplyMode kTextModes[] = {ReplyMode::kUnicast, ReplyMode::kMulticast};
            d.reply =
                d.protocol == DeviceProtocol::kBinary ? kBinaryModes[i % 2] : kTextModes[i % 2];
            // A WS-Discovery device's group reply: ProbeMatches to the group
            // at 3702 (every fourth, so the unicast ones stay the rule).
            if (d.protocol == DeviceProtocol::kWsd)
                d.reply = i % 4 == 3 ? ReplyMode::kMulticast : ReplyMode::kUnicast;
        } else {
            d.reply = s.reply;
        }
        if (!s.reply_delays_ms.empty())
            d.reply_delay_ms =
                s.reply_delays_ms[static_cast<std::size_t>(i) % s.reply_delays_ms.size()];
        devices.push_back(std::move(d));
    }
    return devices;
}

}  // namespace quorvex::sim
