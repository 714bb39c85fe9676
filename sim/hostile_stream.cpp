#include "sim/hostile_stream.h"

#include <algorithm>
#include <cstdio>
#include <string_view>
#include <utility>

#include "sim/standard_soap_replies.h"

namespace quorvex::sim {

namespace {

constexpr const char* kChunkedHead =
    "HTTP/1.1 200 OK\r\nServer: quorvex-sim\r\n"
    "Content-Type: application/soap+xml; charset=utf-8\r\n"
    "Transfer-Encoding: chunked\r\nConnection: close\r\n\r\n";

// The body opens as a real answer would, so that a client that reads as it
// receives gets well into it before the size tells.
std::string BodyStart() {
    const std::string envelope = SoapEnvelope("");
    return envelope.substr(0, envelope.find("</env:Body>")) +
           "<tds:GetDeviceInformationResponse><tds:Manufacturer>";
}

constexpr std::string_view kBodyEnd =
    "</tds:Manufacturer></tds:GetDeviceInformationResponse></env:Body></env:Envelope>";

std::string Chunk(std::string_view data) {
    char size[24];
    std::snprintf(size, sizeof size, "%zx\r\n", data.size());
    return size + std::string(data) + "\r\n";
}

std::string Filler(std::size_t size) {
    return Chunk(std::string(size, 'A'));
}

}  // namespace

HostileStream::HostileStream(HttpDelivery delivery, std::string reply, Clock::time_point now)
    : delivery_(delivery), reply_(std::move(reply)), due_(now) {}

bool HostileStream::Finished() const {
    return ended_;
}

std::string HostileStream::Next(Clock::time_point now) {
    if (ended_ || now < due_) return {};
    switch (delivery_) {
        case HttpDelivery::kWhole:
            ended_ = true;
            return std::exchange(reply_, {});
        case HttpDelivery::kHuge:
        case HttpDelivery::kEndless: {
            if (!started_) {
                started_ = true;
                const std::string start = BodyStart();
                sent_ = start.size();
                return kChunkedHead + Chunk(start);
            }
            if (delivery_ == HttpDelivery::kEndless) {
                due_ = now + kEndlessEvery;
                sent_ += kEndlessPieceBytes;
                return Filler(kEndlessPieceBytes);
            }
            const std::size_t left = kHugeBodyBytes - kBodyEnd.size() - sent_;
            if (left == 0) {
                ended_ = true;
                return Chunk(kBodyEnd) + "0\r\n\r\n";
            }
            const std::size_t piece = std::min(left, kPieceBytes);
            sent_ += piece;
            return Filler(piece);
        }
        case HttpDelivery::kTrickle: {
            due_ = now + kTrickleEvery;
            if (!started_) {
                started_ = true;
                const std::size_t head = reply_.find("\r\n\r\n");
                const std::size_t cut = head == std::string::npos ? 0 : head + 4;
                std::string out = reply_.substr(0, cut);
                reply_.erase(0, cut);
                ended_ = reply_.empty();
                return out;
            }
            std::string out = reply_.substr(0, 1);
            reply_.erase(0, 1);
            ended_ = reply_.empty();
            return out;
        }
    }
    return {};
}

}  // namespace quorvex::sim
