#include "timecode/movie.hpp"

#include <algorithm>
#include <limits>

#include "counting.hpp"

namespace timecode {

namespace {

using movie::fourCC;
namespace mediatype = movie::mediatype;

[[noreturn]] void noFrameRate() {
    throw TimecodeMediaParseError(TimecodeMediaParseError::Case::missingOrNonStandardFrameRate,
                                  "The movie has no standard frame rate.");
}

[[noreturn]] void noTimecode() {
    throw TimecodeMediaParseError(TimecodeMediaParseError::Case::unknownTimecode, "The movie has no timecode.");
}

// The movie layer's time as the timecode library's (a timescale of 0 is the invalid time in both).
MediaTime mediaTime(const movie::MediaTime& time) {
    return time.isValid() ? MediaTime::make(time.value, time.timescale) : MediaTime::invalid();
}

// The first video track's shortest frame, if it has one.
std::optional<Fraction> videoFrameDuration(const movie::Movie& movie) {
    for (const movie::Track* track : movie.tracks(mediatype::video)) {
        if (auto shortest = track->minSampleDuration()) return Fraction(shortest->value, shortest->timescale);
    }
    return std::nullopt;
}

// The frame duration of the first timecode sample entry of the timecode tracks, if there is one.
std::optional<Fraction> timecodeEntryFrameDuration(const movie::Movie& movie) {
    for (const movie::Track* track : movie.tracks(mediatype::timecode)) {
        for (const auto& entry : track->sampleDescriptions())
            if (entry.timecode) return Fraction(entry.timecode->frameDuration, entry.timecode->timescale);
    }
    return std::nullopt;
}

std::optional<int64_t> sumOf(int64_t a, int64_t b) {
    int64_t sum = 0;
    if (__builtin_add_overflow(a, b, &sum)) return std::nullopt;
    return sum;
}

}  // namespace

// ---- reading ----

TimecodeFrameRate timecodeFrameRate(const movie::Movie& movie, std::optional<bool> drop) {
    if (!drop) {
        drop = false;
        for (const movie::Track* track : movie.tracks(mediatype::timecode))
            for (const auto& entry : track->sampleDescriptions())
                if (entry.timecode && entry.timecode->isDropFrame()) drop = true;
    }
    if (auto d = videoFrameDuration(movie))
        if (auto r = TimecodeFrameRate::fromFrameDuration(*d, *drop)) return *r;
    if (auto d = timecodeEntryFrameDuration(movie))
        if (auto r = TimecodeFrameRate::fromFrameDuration(*d, *drop)) return *r;
    if (auto r = videoFrameRate(movie).timecodeFrameRate(*drop)) return *r;
    noFrameRate();
}

VideoFrameRate videoFrameRate(const movie::Movie& movie, std::optional<bool> interlaced) {
    const bool fields = interlaced.value_or(isVideoInterlaced(movie));
    if (auto d = videoFrameDuration(movie))
        if (auto r = VideoFrameRate::fromFrameDuration(*d, fields)) return *r;
    if (auto d = timecodeEntryFrameDuration(movie))
        if (auto r = VideoFrameRate::fromFrameDuration(*d, fields)) return *r;
    for (const movie::Track* track : movie.tracks(mediatype::video))
        if (auto r = VideoFrameRate::fromFPS(track->nominalFrameRate(), fields)) return *r;
    noFrameRate();
}

bool isInterlaced(const movie::Track& track) {
    return std::any_of(track.sampleDescriptions().begin(), track.sampleDescriptions().end(), [](const auto& entry) {
        return entry.video && entry.video->fields && entry.video->fields->fieldCount > 1;
    });
}

bool isVideoInterlaced(const movie::Movie& movie) {
    const auto video = movie.tracks(mediatype::video);
    return !video.empty() && isInterlaced(*video.front());
}

Timecode timecodeOfSample(uint64_t frameNumber, TimecodeFrameRate rate, UpperLimit limit, SubFramesBase base,
                          StringFormat format) {
    if (frameNumber > static_cast<uint64_t>(rate.maxFrameIndex(limit)))
        detail::throwOutOfBounds("the sample's frame number lies beyond the upper limit");
    return Timecode::rawValues(FrameCount::Value::frames(static_cast<int64_t>(frameNumber)), rate, limit, base, format);
}

std::vector<std::vector<Timecode>> timecodeSamples(const movie::Movie& movie, std::optional<TimecodeFrameRate> rate,
                                                   UpperLimit limit, SubFramesBase base, StringFormat stringFormat) {
    const TimecodeFrameRate r = rate ? *rate : timecodeFrameRate(movie);
    std::vector<std::vector<Timecode>> all;
    for (const movie::Track* track : movie.tracks(mediatype::timecode)) {
        if (track->hasExternalData())
            throw TimecodeMediaParseError(TimecodeMediaParseError::Case::internalError,
                                          "The samples of timecode track " + std::to_string(track->trackID()) +
                                              " are in another file.");
        std::vector<Timecode> list;
        track->forEachSample([&](const movie::SampleInfo& sample) {
            if (sample.size == 0) return true;  // an empty sample holds no timecode
            // The movie layer checked the index against the track's entries.
            const movie::FourCC format = track->sampleDescriptions().at(sample.descriptionIndex - 1u).format;
            // 'tmcd' samples hold 32-bit frame numbers, 'tc64' samples 64-bit ones, big-endian.
            const size_t width = format == fourCC("tmcd") ? 4 : format == fourCC("tc64") ? 8 : 0;
            if (width == 0)
                throw TimecodeMediaParseError(TimecodeMediaParseError::Case::unknownTimecode,
                                              "A timecode sample has the unknown format '" + movie::fourCCText(format) +
                                                  "'.");
            const std::vector<uint8_t> bytes = track->sampleData(sample);
            for (size_t at = 0; at + width <= bytes.size(); at += width) {
                uint64_t frame = 0;
                for (size_t i = 0; i < width; ++i) frame = (frame << 8) | bytes[at + i];
                list.push_back(timecodeOfSample(frame, r, limit, base, stringFormat));
            }
            return true;
        });
        all.push_back(std::move(list));
    }
    return all;
}

std::optional<Timecode> startTimecode(const movie::Movie& movie, std::optional<TimecodeFrameRate> rate,
                                      UpperLimit limit, SubFramesBase base, StringFormat format) {
    for (auto& list : timecodeSamples(movie, rate, limit, base, format))
        if (!list.empty()) return list.front();
    return std::nullopt;
}

Timecode timecodeOfMediaTime(const MediaTime& time, TimecodeFrameRate rate, UpperLimit limit, SubFramesBase base,
                             StringFormat format) {
    if (!time.isNumeric()) detail::throwOutOfBounds("the media time is not numeric");
    const Fraction d = rate.frameDuration();
    const double frames = (static_cast<double>(time.value()) * static_cast<double>(d.denominator())) /
                          (static_cast<double>(d.numerator()) * static_cast<double>(time.timescale()));
    return Timecode::fromFrameCount(FrameCount::Value::combined(frames), rate, limit, base, format);
}

Timecode durationTimecode(const movie::Movie& movie, std::optional<TimecodeFrameRate> rate, UpperLimit limit,
                          SubFramesBase base, StringFormat format) {
    const TimecodeFrameRate r = rate ? *rate : timecodeFrameRate(movie);
    return timecodeOfMediaTime(mediaTime(movie.duration()), r, limit, base, format);
}

std::optional<Timecode> endTimecode(const movie::Movie& movie, std::optional<TimecodeFrameRate> rate, UpperLimit limit,
                                    SubFramesBase base, StringFormat format) {
    const TimecodeFrameRate r = rate ? *rate : timecodeFrameRate(movie);
    auto start = startTimecode(movie, r, limit, base, format);
    if (!start) return std::nullopt;
    return *start + durationTimecode(movie, r, limit, base, format);
}

Timecode startTimecodeOrThrow(const movie::Movie& movie, std::optional<TimecodeFrameRate> rate, UpperLimit limit,
                              SubFramesBase base, StringFormat format) {
    if (auto t = startTimecode(movie, rate, limit, base, format)) return *t;
    noTimecode();
}

Timecode endTimecodeOrThrow(const movie::Movie& movie, std::optional<TimecodeFrameRate> rate, UpperLimit limit,
                            SubFramesBase base, StringFormat format) {
    if (auto t = endTimecode(movie, rate, limit, base, format)) return *t;
    noTimecode();
}

std::pair<Timecode, Timecode> timecodeRange(const MediaTime& start, const MediaTime& end, TimecodeFrameRate rate,
                                            UpperLimit limit, SubFramesBase base, StringFormat format) {
    if (!start.isNumeric() || !end.isNumeric() ||
        detail::Int128(start.value()) * end.timescale() > detail::Int128(end.value()) * start.timescale())
        throw TimecodeMediaParseError(TimecodeMediaParseError::Case::unknownTimecode, "The time range is not valid.");
    return {timecodeOfMediaTime(start, rate, limit, base, format), timecodeOfMediaTime(end, rate, limit, base, format)};
}

std::pair<Timecode, Timecode> timecodeRange(const movie::Movie& movie, const movie::Track& track,
                                            std::optional<TimecodeFrameRate> rate, UpperLimit limit,
                                            SubFramesBase base, StringFormat format) {
    const TimecodeFrameRate r = rate ? *rate : timecodeFrameRate(movie);
    const movie::TimeRange range = track.timeRange();
    const auto endValue = sumOf(range.start.value, range.duration.value);
    if (!endValue) detail::throwOutOfBounds("the track's time range");
    const auto end = movie::MediaTime::make(*endValue, range.start.timescale);
    return timecodeRange(mediaTime(range.start), mediaTime(end), r, limit, base, format);
}

Timecode durationTimecode(const movie::Movie& movie, const movie::Track& track, std::optional<TimecodeFrameRate> rate,
                          UpperLimit limit, SubFramesBase base, StringFormat format) {
    const auto [lower, upper] = timecodeRange(movie, track, rate, limit, base, format);
    return upper - lower;
}

TimecodeSampleDescription timecodeSampleDescription(const Timecode& timecode) {
    const Fraction frame = timecode.frameRate.frameDuration();
    uint32_t flags = 0;
    if (timecode.upperLimit == UpperLimit::_24hours) flags |= TimecodeSampleDescription::twentyFourHourMax;
    if (timecode.frameRate.isDrop()) flags |= TimecodeSampleDescription::dropFrame;
    return {flags, static_cast<uint32_t>(frame.denominator()), static_cast<uint32_t>(frame.numerator()),
            static_cast<uint8_t>(timecode.frameRate.timecodeBase())};
}

// ---- writing ----

movie::Track& replaceTimecodeTrack(movie::Movie& movie, const Timecode& start, std::optional<Timecode> duration) {
    std::vector<uint32_t> old;
    for (const movie::Track* track : movie.tracks(mediatype::timecode)) old.push_back(track->trackID());
    for (uint32_t id : old) movie.removeTrack(id);
    if (!duration)
        duration = durationTimecode(movie, std::nullopt, UpperLimit::_24hours, SubFramesBase::_100SubFrames, {});
    return addTimecodeTrack(movie, start, duration);
}

movie::Track& addTimecodeTrack(movie::Movie& movie, const Timecode& start, std::optional<Timecode> duration) {
    if (!duration)
        duration = durationTimecode(movie, std::nullopt, UpperLimit::_24hours, SubFramesBase::_100SubFrames, {});

    const int64_t startFrame = start.frameCount().wholeFrames();
    if (startFrame < 0 || startFrame > std::numeric_limits<uint32_t>::max())
        throw TimecodeMediaWriteError("The start frame has no 32-bit value.");
    const TimecodeSampleDescription description = timecodeSampleDescription(start);

    // The sample lasts the duration, (num x subframes) / (den x divisor) seconds, in ticks of the
    // start rate's timescale.
    const Fraction frame = duration->frameRate.frameDuration();
    const detail::Int128 num = detail::Int128(frame.numerator()) * duration->frameCount().subFrameCount();
    const detail::Int128 den = detail::Int128(frame.denominator()) * divisor(duration->subFramesBase);
    const detail::Int128 ticks = num * description.timescale / den;
    if (ticks < 0 || ticks > std::numeric_limits<uint32_t>::max())
        throw TimecodeMediaWriteError("The duration is too long for a timecode sample.");

    movie::NewTrack track;
    track.mediaType = mediatype::timecode;
    track.timescale = description.timescale;
    track.description = movie::SampleDescription::makeTimecode(description);
    track.handlerName = "TimeCodeHandler";
    const auto n = static_cast<uint32_t>(startFrame);
    track.samples.push_back({{static_cast<uint8_t>(n >> 24), static_cast<uint8_t>(n >> 16),
                              static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)},
                             static_cast<uint32_t>(ticks)});
    const uint32_t id = movie.addTrack(track);

    std::vector<uint32_t> video;
    for (const movie::Track* t : movie.tracks(mediatype::video)) video.push_back(t->trackID());
    for (uint32_t v : video) movie.track(v)->addReference(fourCC("tmcd"), id);
    return *movie.track(id);
}

}  // namespace timecode
