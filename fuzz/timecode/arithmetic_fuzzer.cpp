// Drives timecode building and arithmetic with arbitrary settings, components and numbers
// (extreme values, NaN and infinities included), checking the promises along the way: only the
// out-of-bounds error is ever thrown, and every clamped or wrapped result is a valid timecode
// that counts back to itself.
//
// Input: byte 0 picks the rate, byte 1 the limit and base, then six 64-bit components, one
// double, and each byte after that is one operation.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "timecode/timecode.hpp"

using namespace timecode;

namespace {

void check(bool condition) {
    if (!condition) __builtin_trap();
}

class Input {
  public:
    explicit Input(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    bool empty() const { return at_ >= bytes_.size(); }
    uint8_t byte() { return empty() ? 0 : bytes_[at_++]; }
    template <class T>
    T value() {
        T v{};
        uint8_t raw[sizeof(T)] = {};
        for (auto& r : raw) r = byte();
        std::memcpy(&v, raw, sizeof v);
        return v;
    }

  private:
    std::span<const uint8_t> bytes_;
    size_t at_ = 0;
};

void checkValid(const Timecode& t) {
    check(t.invalidComponents().empty());
    Timecode back = Timecode::fromFrameCount(t.frameCount(), t.frameRate, t.upperLimit, t.stringFormat);
    check(back.components() == t.components());
    check(Timecode::fromString(t.stringValue(), t.frameRate, t.upperLimit, t.subFramesBase).components() ==
              Timecode::rawValues(t.components(), t.frameRate).components() ||
          t.subFrames != 0);
}

template <class F>
void attempt(F&& f) {
    try {
        f();
    } catch (const TimecodeValidationError&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in({data, size});
    const auto rate = TimecodeFrameRate::allCases()[in.byte() % TimecodeFrameRate::caseCount];
    const uint8_t settings = in.byte();
    const auto limit = allUpperLimits[settings & 1];
    const auto base = allSubFramesBases[(settings >> 1) % 3];
    Components c;
    for (auto component : allComponents) c[component] = in.value<int64_t>();
    const double x = in.value<double>();
    using LB = Timecode::LimitBehavior;

    Timecode t = Timecode::rawValues(c, rate, limit, base);
    while (!in.empty()) {
        const uint8_t op = in.byte();
        const LB behavior = static_cast<LB>((op >> 5) % 3);
        switch (op & 0x1F) {
            case 0: attempt([&] { t.setClamping(c); checkValid(t); }); break;
            case 1: attempt([&] { t.setWrapping(c); checkValid(t); }); break;
            case 2: t.setClampingEach(c); checkValid(t); break;
            case 3: attempt([&] { t.set(c); checkValid(t); }); break;
            case 4: attempt([&] { t.set(RealTime{x}); checkValid(t); }); break;
            case 5: attempt([&] { t.setWrapping(RealTime{x}); checkValid(t); }); break;
            case 6: attempt([&] { t.setClamping(Samples{x, c.sf}); checkValid(t); }); break;
            case 7: attempt([&] { t.set(Fraction(c.d, c.h)); checkValid(t); }); break;
            case 8: attempt([&] { t.setWrapping(Fraction(c.m, c.s)); checkValid(t); }); break;
            case 9: attempt([&] { t.setRawValues(MediaTime::make(c.f, static_cast<int32_t>(c.sf))); }); break;
            case 10: attempt([&] { t.set(FrameCount::Value::combined(x)); checkValid(t); }); break;
            case 11: attempt([&] { t.setWrapping(FrameCount::Value::split(c.f, c.sf)); checkValid(t); }); break;
            case 12:
                attempt([&] {
                    Timecode r = t.adding(c, behavior);
                    checkValid(r);
                });
                break;
            case 13:
                attempt([&] {
                    Timecode r = t.subtracting(c, behavior);
                    checkValid(r);
                });
                break;
            case 14:
                attempt([&] {
                    Timecode r = t.multiplying(x, behavior);
                    checkValid(r);
                });
                break;
            case 15:
                attempt([&] {
                    Timecode r = t.dividing(x, behavior);
                    checkValid(r);
                });
                break;
            case 16: attempt([&] { (void)t.realTimeValue(); (void)t.rationalValue(); (void)t.mediaTimeValue(); }); break;
            case 17: attempt([&] { (void)t.samplesValueRounded(c.sf); }); break;
            case 18:
                attempt([&] {
                    Timecode other = Timecode::rawValues(c, TimecodeFrameRate::allCases()[op % 22], limit, base);
                    Timecode sum = t + other;
                    Timecode difference = t - other;
                    (void)t.offset(other);
                    (void)(sum == difference);
                });
                break;
            case 19: attempt([&] { t.roundUp(allComponents[op % 6]); }); break;
            case 20: t.roundDown(allComponents[op % 6]); break;
            case 21: attempt([&] { (void)t.feetAndFramesValue(); (void)t.isZero(); }); break;
            case 22: (void)t.stringValue(); break;
            case 23: t.clampComponents(); checkValid(t); break;
            default: attempt([&] { (void)Timecode::components(FrameCount::Value::combined(x), base, rate); }); break;
        }
    }
    return 0;
}
