// A standard camera's device service over arbitrary request bytes: the HTTP
// reader, the SOAP reader and the checks of both authentications, all of
// which see a caller's bytes before anyone knows who the caller is. They may
// refuse, but must never throw or crash, and every answer is a status the
// camera can send with a body that matches it.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>

#include "fuzz/fuzz_checks.h"
#include "sim/http_request_reader.h"
#include "sim/standard_camera.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quorvex::sim;
    using quorvex::fuzz::Require;
    const std::span<const std::uint8_t> bytes(data, size);
    HttpRequestHead head;
    std::size_t head_size = 0;
    HttpRequest request{"POST", "/onvif/device_service", "", bytes};
    try {
        if (ReadHttpRequest(bytes, head, head_size) == HttpReadStatus::kComplete) {
            Require(head_size + head.content_length <= size, "a whole request lies in the bytes");
            request = HttpRequest{head.method, head.target, head.authorization,
                                  bytes.subspan(head_size, head.content_length)};
        }
        for (const StandardAuth auth : {StandardAuth::kDigest, StandardAuth::kUsernameToken}) {
            SimDevice device;
            device.protocol = DeviceProtocol::kWsd;
            device.ip = "10.0.0.5";
            device.mask = "255.255.255.0";
            device.password = "pw";
            device.standard.on = true;
            device.standard.auth = auth;
            StandardCamera camera(device);
            OperationRecord record;
            const HttpReply reply = camera.Handle(request, std::chrono::system_clock::now(),
                                                  std::chrono::steady_clock::now(), record);
            Require(reply.status >= 200 && reply.status < 600, "a real status");
            Require(!record.result.empty(), "every call leaves a line in the log");
            Require((reply.status == 200) ==
                        (record.result == "answered" || record.result.starts_with("accepted")),
                    "success only when the log says so");
        }
    } catch (...) {
        Require(false, "the device service never throws");
    }
    return 0;
}
