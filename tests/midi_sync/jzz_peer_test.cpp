// Full-frame and quarter-frame bytes against the npm package jzz, at the four MTC rates: its
// writer must produce our encoder's bytes, and its reader must follow our encoder's stream to the
// same times as our decoder.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "midi_sync/mtc_encoder.hpp"
#include "mtc_support.hpp"

using namespace midisync;
using namespace mtctest;
using TFR = TimecodeFrameRate;

namespace {

const std::string moduleDir = std::string(JZZ_NPM_PREFIX) + "/node_modules/jzz";

bool onPath(const char* tool) {
    return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// Runs the peer script over the lines and returns its output lines.
std::vector<std::string> peer(const std::string& mode, const std::vector<std::string>& lines) {
    const auto list = std::filesystem::temp_directory_path() /
                      ("jzz_mtc_" + mode + "_" + std::to_string(::getpid()) + ".txt");
    {
        std::ofstream out(list);
        for (const auto& line : lines) out << line << '\n';
    }
    const std::string command =
        "node '" + std::string(JZZ_PEER_SCRIPT) + "' '" + moduleDir + "' " + mode + " '" + list.string() + "'";
    std::vector<std::string> result;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buf[4096];
        while (fgets(buf, sizeof buf, pipe)) {
            std::string line(buf);
            while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
            result.push_back(line);
        }
        pclose(pipe);
    }
    std::filesystem::remove(list);
    return result;
}

std::string hex(const std::vector<uint8_t>& bytes) {
    std::string out;
    char buf[4];
    for (uint8_t b : bytes) {
        std::snprintf(buf, sizeof buf, "%02x", b);
        out += (out.empty() ? "" : " ") + std::string(buf);
    }
    return out;
}

struct PeerRate {
    TFR rate;
    const char* jzzName;
};
const PeerRate peerRates[] = {{TFR::_24, "24"}, {TFR::_25, "25"}, {TFR::_29_97_drop, "29.97"}, {TFR::_30, "30"}};

// Positions on even frame numbers (where both sides start a cycle at the frame itself): the
// edges of seconds, minutes, drop-frame minutes and the day, and random ones.
std::vector<Timecode> positions(TFR rate) {
    const int64_t lastEven = (rate.timecodeBase() - 1) & ~int64_t{1};
    std::vector<Timecode::Components> c = {{0, 0, 0, 0, 0, 0},        {0, 23, 59, 59, lastEven, 0},
                                           {0, 1, 0, 59, lastEven, 0}, {0, 0, 9, 59, lastEven, 0},
                                           {0, 0, 10, 0, 0, 0},        {0, 12, 34, 56, 2, 0}};
    std::mt19937_64 random(rate.index());
    for (int i = 0; i < 60; ++i)
        c.push_back({0, int64_t(random() % 24), int64_t(random() % 60), int64_t(random() % 60),
                     int64_t(random() % uint64_t(rate.timecodeBase())) & ~int64_t{1}, 0});
    std::vector<Timecode> out;
    for (auto& x : c) {
        if (rate.isDrop() && x.s == 0 && x.m % 10 != 0 && x.f < 2) x.f = 2;
        out.push_back(Timecode::fromComponents(x, rate, timecode::UpperLimit::_24hours,
                                               timecode::SubFramesBase::_100SubFrames));
    }
    return out;
}

std::string text(const Timecode::Components& c) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld:%02lld", static_cast<long long>(c.h),
                  static_cast<long long>(c.m), static_cast<long long>(c.s), static_cast<long long>(c.f));
    return buf;
}

class JzzPeer : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!onPath("node") || !onPath("npm")) GTEST_SKIP() << "node or npm is not installed";
        ASSERT_TRUE(std::filesystem::exists(moduleDir + "/package.json")) << "the fixture did not install jzz";
    }
};

}  // namespace

TEST_F(JzzPeer, EncoderBytesMatchTheWriter) {
    for (const PeerRate& p : peerRates) {
        SCOPED_TRACE(p.jzzName);
        std::vector<std::string> requests, ours;
        for (const Timecode& tc : positions(p.rate)) {
            requests.push_back(std::string(p.jzzName) + " " + std::to_string(tc.hours) + " " +
                               std::to_string(tc.minutes) + " " + std::to_string(tc.seconds) + " " +
                               std::to_string(tc.frames));
            std::vector<MIDIEvent> sent;
            MTCEncoder encoder([&](const std::vector<MIDIEvent>& e) { sent.insert(sent.end(), e.begin(), e.end()); });
            encoder.locate(tc, MTCEncoder::FullFrameBehavior::always);
            for (int i = 0; i < 16; ++i) encoder.increment();
            std::vector<uint8_t> bytes = bytesOf({sent.front()});
            for (size_t i = 1; i < sent.size(); ++i) bytes.push_back(bytesOf({sent[i]}).at(1));
            ours.push_back(hex(bytes));
        }
        const auto theirs = peer("encode", requests);
        ASSERT_EQ(theirs.size(), ours.size());
        for (size_t i = 0; i < ours.size(); ++i) EXPECT_EQ(ours[i], theirs[i]) << requests[i];
    }
}

TEST_F(JzzPeer, DecoderFollowsTheStreamAsTheReaderDoes) {
    // The reader holds a time from the first piece on; ours reports from the piece 0 that follows a
    // whole cycle. From there on, both name the same frame at every piece: the cycle's first frame
    // plus two at pieces 0-3 and plus three at pieces 4-7.
    for (const PeerRate& p : peerRates) {
        SCOPED_TRACE(p.jzzName);
        std::vector<std::string> requests;
        std::vector<std::vector<std::string>> ours;
        for (const Timecode& tc : positions(p.rate)) {
            RecordingDecoder d;
            std::string line = p.jzzName;
            std::vector<std::string> times;
            MTCEncoder encoder([&](const std::vector<MIDIEvent>& e) {
                line += " " + hex({bytesOf(e).at(1)});
                const size_t before = d.reports.size();
                d.decoder.midiIn(e);
                times.push_back(d.reports.size() > before ? text(d.reports.back().components) : "");
            });
            encoder.locate(tc, MTCEncoder::FullFrameBehavior::never);
            for (int i = 0; i < 32; ++i) encoder.increment();
            requests.push_back(line);
            ours.push_back(times);
        }
        const auto theirs = peer("decode", requests);
        ASSERT_EQ(theirs.size(), ours.size());
        for (size_t i = 0; i < ours.size(); ++i) {
            std::istringstream in(theirs[i]);
            std::vector<std::string> jzzTimes{std::istream_iterator<std::string>(in), {}};
            ASSERT_EQ(jzzTimes.size(), ours[i].size());
            int compared = 0;
            for (size_t k = 0; k < jzzTimes.size(); ++k) {
                if (ours[i][k].empty()) continue;
                EXPECT_EQ(ours[i][k], jzzTimes[k]) << requests[i] << " piece " << k;
                ++compared;
            }
            EXPECT_EQ(compared, 24) << requests[i];
        }
    }
}
