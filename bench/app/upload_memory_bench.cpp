// Resident memory over four uploads of a 3,000-measure score. The controller converts on one
// serial queue of its own and gives freed memory back after each conversion; beside it, the same
// four conversions handed to the user-initiated global queue one after the other, where each may
// land on another pool thread. Counters: resident MB after the first and the fourth conversion and
// their ratio (each benchmark measures from where the one before it left the process).
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <future>

#include "app/controller.hpp"
#include "app/fake_headset.hpp"
#include "dispatch/queue.hpp"
#include "large_score.hpp"

namespace {

using namespace std::chrono_literals;

double residentMegabytes() {
    return static_cast<double>(companion::testing::residentBytes()) / 1e6;
}

const std::filesystem::path& scoreFile() {
    static const std::filesystem::path file = [] {
        auto path = std::filesystem::temp_directory_path() /
                    ("upload_memory_bench_" + std::to_string(::getpid()) + ".musicxml");
        std::ofstream(path) << companion::testing::largePianoScore(3000);
        return path;
    }();
    return file;
}

void report(benchmark::State& state, const std::vector<double>& resident) {
    state.counters["first_MB"] = resident.front();
    state.counters["fourth_MB"] = resident.back();
    state.counters["fourth_per_first"] = resident.back() / resident.front();
}

void BM_UploadsThroughTheController(benchmark::State& state) {
    companion::FakeHeadset::Options headsetOptions;
    headsetOptions.keepReceived = false;
    headsetOptions.reply = {};  // no reply line after "Upload complete"
    std::atomic<const companion::CompanionController*> made{nullptr};
    headsetOptions.uploadPort = [&made] {
        const auto* controller = made.load();
        return controller ? controller->lastUploadPort() : uint16_t{0};
    };
    companion::FakeHeadset headset(headsetOptions);
    companion::CompanionOptions options;
    options.headsetPort = headset.udpPort();
    options.uploadPort = 0;
    options.uploadListenAddress = net::IpAddress::loopbackV4();
    options.diagnostics = nullptr;
    auto controller = companion::CompanionController::make(options);
    made = controller.get();
    controller->ipAddress = "127.0.0.1";
    controller->start();
    std::vector<double> resident;
    for (auto _ : state) {
        for (int upload = 0; upload < 4; ++upload) {
            controller->fileImported(scoreFile());
            controller->uploadPiece();
            if (!dispatch::Queue::main()->runUntil([&] { return !controller->isUploading.get(); },
                                                   300s) ||
                controller->outputText().back().text != "Upload complete") {
                state.SkipWithError("the upload did not complete");
                return;
            }
            resident.push_back(residentMegabytes());
        }
    }
    controller->stop();
    report(state, resident);
}

void BM_ConversionsOnTheGlobalQueue(benchmark::State& state) {
    std::vector<double> resident;
    for (auto _ : state) {
        for (int conversion = 0; conversion < 4; ++conversion) {
            std::promise<size_t> done;
            dispatch::Queue::global(dispatch::QoS::userInitiated)->async([&done] {
                const auto piece = companion::convertPiece(scoreFile(), nullptr);
                done.set_value(piece.payload ? piece.payload->size() : 0);
            });
            if (done.get_future().get() == 0) {
                state.SkipWithError("the conversion failed");
                return;
            }
            resident.push_back(residentMegabytes());
        }
    }
    report(state, resident);
}

BENCHMARK(BM_UploadsThroughTheController)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConversionsOnTheGlobalQueue)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove(scoreFile());
    return 0;
}
