// The text of sampled frames of a day against the npm package smpte-timecode, at the five rates
// where it and libavutil agree with each other.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

extern "C" {
#include <libavutil/timecode.h>
}

#include "peer_support.hpp"

using namespace timecode;

namespace {


std::vector<std::string> npmStrings(const PeerRate& p, const std::vector<int64_t>& frames) {
    const auto dir = std::filesystem::temp_directory_path() /
                     ("timecode_npm_peer_" + std::to_string(::getpid()) + "_" + std::to_string(p.num));
    std::filesystem::create_directories(dir);
    const auto list = dir / "frames.txt";
    {
        std::ofstream out(list);
        for (int64_t n : frames) out << n << '\n';
    }
    const std::string command = std::string("node '") + TIMECODE_NPM_SCRIPT + "' '" + TIMECODE_NPM_PREFIX +
                                "/node_modules/smpte-timecode' " + std::to_string(p.num) + " " +
                                std::to_string(p.den) + " " + (p.drop ? "true" : "false") + " '" + list.string() + "'";
    std::vector<std::string> lines;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buf[256];
        while (fgets(buf, sizeof buf, pipe)) {
            std::string line(buf);
            while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
            lines.push_back(line);
        }
        pclose(pipe);
    }
    std::filesystem::remove_all(dir);
    return lines;
}

}  // namespace

class NpmPeer : public testing::TestWithParam<size_t> {};

TEST_P(NpmPeer, TextOfSampledFramesAgreesWithBothPeers) {
    if (!onPath("npm")) GTEST_SKIP() << "npm is not installed";
    ASSERT_TRUE(std::filesystem::exists(std::string(TIMECODE_NPM_PREFIX) + "/node_modules/smpte-timecode/package.json"))
        << "the fixture did not install smpte-timecode";
    {
        const PeerRate& p = peerRates[GetParam()];
        SCOPED_TRACE(p.rate.rawValue());
        AVTimecode tc{};
        ASSERT_EQ(av_timecode_init(&tc, AVRational{p.num, p.den},
                                   (p.drop ? AV_TIMECODE_FLAG_DROPFRAME : 0) | AV_TIMECODE_FLAG_24HOURSMAX, 0, nullptr),
                  0);
        const auto frames = sampledFramesOfADay(p.rate);
        const auto npm = npmStrings(p, frames);
        ASSERT_EQ(npm.size(), frames.size());
        char buf[AV_TIMECODE_STR_SIZE];
        for (size_t i = 0; i < frames.size(); ++i) {
            const std::string avutil = av_timecode_make_string(&tc, buf, static_cast<int>(frames[i]));
            ASSERT_EQ(npm[i], avutil) << "the peers disagree at frame " << frames[i];
            ASSERT_EQ(Timecode::fromFrameCount(FrameCount::Value::frames(frames[i]), p.rate).stringValue(), npm[i])
                << "frame " << frames[i];
            ASSERT_EQ(Timecode::fromString(npm[i], p.rate).frameCount().wholeFrames(), frames[i]);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(PeerRates, NpmPeer, testing::Range<size_t>(0, std::size(peerRates)));
