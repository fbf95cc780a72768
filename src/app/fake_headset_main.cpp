// fake_headset: a headset stand-in on the command line. Listens for datagrams, prints each as hex,
// and answers upload calls with the chosen script.
//
//   fake_headset [--script NAME] [--udp-port N] [--bind ADDRESS] [--computer ADDRESS]
//                [--upload-port N] [--abort-after K] [--seconds S]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "app/fake_headset.hpp"

int main(int argc, char** argv) {
    using companion::FakeHeadset;
    FakeHeadset::Options options;
    options.udpPort = 4283;
    uint16_t uploadPort = 4287;
    long seconds = 60;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string flag = argv[i], value = argv[i + 1];
        if (flag == "--script") {
            const auto script = FakeHeadset::scriptNamed(value);
            if (!script) {
                std::fprintf(stderr, "unknown script: %s\n", value.c_str());
                return 2;
            }
            options.script = *script;
        } else if (flag == "--udp-port") {
            options.udpPort = static_cast<uint16_t>(std::atoi(value.c_str()));
        } else if (flag == "--bind") {
            options.udpAddress = value;
        } else if (flag == "--computer") {
            options.computerAddress = value;
        } else if (flag == "--upload-port") {
            uploadPort = static_cast<uint16_t>(std::atoi(value.c_str()));
        } else if (flag == "--abort-after") {
            options.abortAfter = static_cast<size_t>(std::atol(value.c_str()));
        } else if (flag == "--seconds") {
            seconds = std::atol(value.c_str());
        } else {
            std::fprintf(stderr, "unknown option: %s\n", flag.c_str());
            return 2;
        }
    }
    options.uploadPort = [uploadPort] { return uploadPort; };
    try {
        FakeHeadset headset(options);
        std::printf("listening on UDP port %u\n", headset.udpPort());
        std::fflush(stdout);
        headset.setDatagramObserver([](const FakeHeadset::Datagram& datagram) {
            for (const auto byte : datagram.bytes)
                std::printf("%02X ", byte);
            std::printf("\n");
            std::fflush(stdout);
        });
        size_t reported = 0;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (std::chrono::steady_clock::now() < end) {
            if (headset.waitForUploads(reported + 1, std::chrono::milliseconds(200))) {
                const auto upload = headset.uploads()[reported++];
                std::printf("upload: %zu bytes%s%s\n", upload.received.size(),
                            upload.endOfStream ? ", end of stream" : "",
                            upload.error.empty() ? "" : (", " + upload.error).c_str());
                std::fflush(stdout);
            }
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
