// The measure-by-measure walk of a partwise MusicXML score.

#include <algorithm>
#include <cmath>
#include <numeric>
#include <optional>
#include <vector>

#include "musicxml_reading.hpp"
#include "score/musicxml_converter.hpp"

namespace score {

using detail::addTicks;
using detail::attributeText;
using detail::fail;
using detail::firstChild;
using xmlindexing::XMLElement;
using namespace std::string_view_literals;

namespace {

// The single part of a partwise score; anything else is refused with a sentence saying why.
const XMLElement& onlyPart(const xmlindexing::XMLIndexer& document) {
    if (const auto error = document.parsingError())
        fail("The score is not well-formed XML (error on line " + std::to_string(error->line()) +
             ", column " + std::to_string(error->column()) + ").");
    const auto root = document.element();
    if (!root) fail("The score could not be read as XML text.");
    const XMLElement* top = nullptr;
    for (const auto& child : root->children()) {
        if (child && child->isElement()) {
            top = static_cast<const XMLElement*>(child.get());
            break;
        }
    }
    if (!top) fail("The score holds no XML element.");
    if (top->name() == "score-timewise")
        fail("The score is a timewise MusicXML score; only partwise scores can be converted.");
    if (top->name() != "score-partwise")
        fail("The file is not a MusicXML score: its root element is not score-partwise.");

    const XMLElement* part = nullptr;
    size_t parts = 0;
    detail::forEachChildElement(*top, [&](const XMLElement& child) {
        if (child.name() != "part") return;
        if (parts++ == 0) part = &child;
    });
    if (parts == 0) fail("The score has no part.");
    if (parts > 1)
        fail("The score has " + std::to_string(parts) +
             " parts; only scores with a single part can be converted.");
    return *part;
}

// The beats of one time signature: a positive integer, or positive integers joined by "+" that
// count as their sum (3+2 is five beats); absent for anything else.
std::optional<int64_t> beatsOf(std::string_view text) {
    if (const auto whole = detail::integerOf(text)) return *whole > 0 ? whole : std::nullopt;
    int64_t sum = 0;
    for (size_t from = 0;;) {
        const size_t plus = text.find('+', from);
        const auto part = detail::integerOf(text.substr(from, plus - from));
        if (!part || *part <= 0 || __builtin_add_overflow(sum, *part, &sum)) return std::nullopt;
        if (plus == std::string_view::npos) return sum;
        from = plus + 1;
    }
}

struct TimeSignature {
    int64_t beats;
    int64_t beatType;
};

// The time signature of a time element. The n-th beats element pairs with the n-th beat-type;
// several pairs make one bar of their sum, written over the least common beat type (5/8 and 3/4
// are 11/8). Absent for senza-misura (unmeasured music), which holds no beats.
std::optional<TimeSignature> timeSignatureOf(const XMLElement& time) {
    std::vector<const XMLElement*> beats, types;
    bool unmeasured = false;
    detail::forEachChildElement(time, [&](const XMLElement& child) {
        const std::string& name = child.name();
        if (name == "beats"sv)
            beats.push_back(&child);
        else if (name == "beat-type"sv)
            types.push_back(&child);
        else if (name == "senza-misura"sv)
            unmeasured = true;
    });
    if (beats.size() != types.size() || (beats.empty() && !unmeasured)) fail("Error in time node");
    if (beats.empty()) return std::nullopt;

    std::optional<TimeSignature> signature;
    for (size_t i = 0; i < beats.size(); ++i) {
        const auto count = beatsOf(beats[i]->text());
        const auto type = detail::integerOf(types[i]->text());
        if (!count || !type || *type <= 0) fail("Error in time node");
        if (!signature) {
            signature = TimeSignature{*count, *type};
            continue;
        }
        int64_t commonType = 0, sum = 0, scaled = 0;
        if (__builtin_mul_overflow(signature->beatType / std::gcd(signature->beatType, *type),
                                   *type, &commonType) ||
            __builtin_mul_overflow(signature->beats, commonType / signature->beatType, &sum) ||
            __builtin_mul_overflow(*count, commonType / *type, &scaled) ||
            __builtin_add_overflow(sum, scaled, &sum))
            fail("Error in time node");
        signature = TimeSignature{sum, commonType};
    }
    return signature;
}

bool fitsInTicks(float value) {
    // 2^63 is exactly representable; every finite float below it converts without overflow.
    return std::isfinite(value) && value > -9223372036854775808.0f &&
           value < 9223372036854775808.0f;
}

}  // namespace

size_t JpsMusicXmlConverter::NoteKeyHash::operator()(const NoteKey& key) const {
    const auto a = static_cast<uint64_t>(key.start), b = static_cast<uint64_t>(key.note);
    // Mixed so that every bit of both counts in the low bits a table of a power-of-two size uses.
    uint64_t h = a * 0x9E3779B97F4A7C15ull ^ (b + 0x632BE59BD9B4E019ull);
    h ^= h >> 31;
    h *= 0xD6E8FEB86659FD93ull;
    return static_cast<size_t>(h ^ (h >> 32));
}

void JpsMusicXmlConverter::parseScore(std::string_view text) {
    auto options = std::make_shared<xmlindexing::XMLHashOptions>();
    options->detectParsingErrors = true;
    options->maximumTreeSize = maximumTreeSize;
    // The walk keeps nothing of the tree, so the tree can go at once when the walk is done.
    const auto document = [&] {
        try {
            return xmlindexing::detail::parseTransiently(text, std::move(options));
        } catch (const xmlindexing::TreeSizeError&) {
            fail("The score has too many elements to convert: its element tree would need more "
                 "than " +
                 std::to_string(maximumTreeSize >> 20) + " MiB of memory.");
        }
    }();
    const XMLElement& part = onlyPart(document);

    // The beginning of the piece is the start of a repeat section.
    currentVoiceTimestamp.assign(NoOfVoices, 0);
    previousDuration.assign(NoOfVoices, 0);
    arpeggioOffset_.assign(NoOfVoices, 0);
    tieBuffer_.clear();
    repeatSectionNotes.clear();
    isInRepeatSection = true;
    // Tempo marks an earlier walk held for a time signature it never read keep the bars of four
    // quarters that the default tempo assumes too.
    heldTempos_.clear();
    sectionStart_ = 0;
    sectionStop_ = 0;
    // Notes of an earlier conversion on this converter stay in the list and in the duplicate test.
    noteIndex_.clear();
    indexShift_ = 0;
    for (const auto& note : noteObjects)
        if (note) indexNote(note, false);

    tempoObjects.push_back(std::make_shared<TempoObject>(0, 120.0f, 30.0f));
    dynamicsObjects.push_back(std::make_shared<DynamicsObject>(0, 60.0f));

    detail::forEachChildElement(part, [&](const XMLElement& child) {
        if (child.name() == "measure") walkMeasure(child);
    });
}

void JpsMusicXmlConverter::walkMeasure(const XMLElement& measure) {
    const auto number = attributeText(measure, "number");
    if (!number) fail("Missing measure number attribute");
    if (number->starts_with('X')) startRepeatSection();

    detail::prefetchChildren(measure);
    const auto& children = measure.children();
    for (size_t i = 0; i < children.size(); ++i) {
        if (!children[i] || !children[i]->isElement()) continue;
        const auto& element = static_cast<const XMLElement&>(*children[i]);
        // The next elements' child lists are asked for while this one is converted.
        for (size_t ahead = i + 1; ahead < children.size() && ahead <= i + 2; ++ahead)
            if (children[ahead] && children[ahead]->isElement())
                detail::prefetchChildList(static_cast<const XMLElement&>(*children[ahead]));
        const std::string& name = element.name();
        if (name == "note"sv)
            convertNote(element);
        else if (name == "attributes"sv)
            readAttributes(element);
        else if (name == "direction"sv)
            readDirection(element);
        else if (name == "barline"sv)
            readBarline(element);
    }

    // Every voice starts the next measure together, at the end of the longest one.
    currentMeasureTimestamp = latestVoiceClock();
    setAllVoiceClocks(currentMeasureTimestamp);

    // A pickup bar is measure "0" marked implicit; the attribute's default is "no", so a measure
    // "0" without it is an ordinary measure.
    if (*number == "0" && attributeText(measure, "implicit") == "yes") alignPickupMeasure();
}

void JpsMusicXmlConverter::readAttributes(const XMLElement& attributes) {
    if (const auto* element = firstChild(attributes, "divisions")) {
        const auto value = detail::integerOf(element->text());
        if (!value || *value <= 0) fail("Error in divisions node");
        divisions = *value;
    }
    if (const auto* time = firstChild(attributes, "time")) {
        const auto signature = timeSignatureOf(*time);
        if (!signature) return;  // unmeasured music leaves the time signature as it was
        beatsPerMeasure = signature->beats;
        beatType = signature->beatType;
        const float quarters =
            4.0f / static_cast<float>(beatType) * static_cast<float>(beatsPerMeasure);
        if (!fitsInTicks(quarters)) fail("Error in time node");
        quarterNotesPerBeat = static_cast<int64_t>(quarters);
        barQuarters_ = quarters;
        if (!heldTempos_.empty()) settleHeldTempos();
    }
}

// The quarter notes of one bar that a tempo divides by: the whole ones of the time signature in
// force, or the exact length of a bar shorter than one quarter (bpm means bars per minute). Absent
// while no time signature has been read.
std::optional<float> JpsMusicXmlConverter::quartersPerBar() const {
    if (quarterNotesPerBeat != 0) return static_cast<float>(quarterNotesPerBeat);
    if (barQuarters_ > 0.0f) return barQuarters_;
    return std::nullopt;
}

void JpsMusicXmlConverter::readTempo(float qnpm) {
    const auto quarters = quartersPerBar();
    bpm = qnpm / quarters.value_or(4.0f);
    auto mark = std::make_shared<TempoObject>(currentVoiceTimestamp[0], qnpm, bpm);
    // A tempo read before the first time signature (some exports write it ahead of bar 1's
    // attributes) waits for it.
    if (!quarters) heldTempos_.push_back(mark);
    // A tempo at the very start replaces the default one.
    if (mark->start == 0 && !tempoObjects.empty())
        tempoObjects[0] = std::move(mark);
    else
        tempoObjects.push_back(std::move(mark));
}

// The first time signature of the walk has been read: the tempo marks read before it take their
// bars per minute from it.
void JpsMusicXmlConverter::settleHeldTempos() {
    const float quarters = *quartersPerBar();
    for (const auto& mark : heldTempos_)
        mark->bpm = mark->qnpm / quarters;
    bpm = heldTempos_.back()->bpm;
    heldTempos_.clear();
}

void JpsMusicXmlConverter::readDirection(const XMLElement& direction) {
    // A wedge starts at the level in force.
    for (const auto& child : direction.children()) {
        if (!child || !child->isElement()) continue;
        const auto* directionType = static_cast<const XMLElement*>(child.get());
        if (directionType->name() != "direction-type") continue;
        if (const auto* wedge = firstChild(*directionType, "wedge")) {
            const auto type = attributeText(*wedge, "type");
            if (type && (*type == "crescendo" || *type == "diminuendo"))
                dynamicsObjects.push_back(
                    std::make_shared<DynamicsObject>(currentVoiceTimestamp[0], currentDynamics));
            break;
        }
    }

    const auto* sound = firstChild(direction, "sound");
    if (!sound) return;
    if (const auto tempoText = attributeText(*sound, "tempo")) {
        if (const auto tempo = detail::numberOf(*tempoText)) readTempo(*tempo);
    }
    if (const auto dynamicsText = attributeText(*sound, "dynamics")) {
        currentDynamics = detail::numberOf(*dynamicsText).value_or(0.0f);
        dynamicsObjects.push_back(
            std::make_shared<DynamicsObject>(currentVoiceTimestamp[0], currentDynamics));
    }
}

void JpsMusicXmlConverter::readBarline(const XMLElement& barline) {
    if (const auto* repeat = firstChild(barline, "repeat")) {
        const auto direction = attributeText(*repeat, "direction");
        if (!direction) fail("Missing repeat direction attribute");
        if (*direction == "forward")
            startRepeatSection();
        else if (!repeatSectionNotes.empty())
            replayRepeatSection();
        return;
    }
    if (const auto* ending = firstChild(barline, "ending")) {
        const auto number = attributeText(*ending, "number");
        if (!number) fail("Missing ending number attribute");
        if (*number != "1") return;
        const auto type = attributeText(*ending, "type");
        if (!type) fail("Missing ending type attribute");
        // A first ending is not part of what a later backward repeat replays.
        if (*type == "start" && isInRepeatSection) {
            sectionStop_ = latestVoiceClock();
            isInRepeatSection = false;
        }
    }
}

void JpsMusicXmlConverter::startRepeatSection() {
    isInRepeatSection = true;
    repeatSectionNotes.clear();
    sectionStart_ = latestVoiceClock();
}

void JpsMusicXmlConverter::replayRepeatSection() {
    const int64_t replayStart = latestVoiceClock();
    currentMeasureTimestamp = replayStart;
    // The replay spans the recorded stretch from bar line to bar line, so that a section that
    // begins or ends with a rest keeps its own length.
    const int64_t sectionEnd = isInRepeatSection ? replayStart : sectionStop_;
    const int64_t length = std::max<int64_t>(0, detail::subtractTicks(sectionEnd, sectionStart_));
    for (const auto& recorded : repeatSectionNotes) {
        auto copy = std::make_shared<NoteObject>(*recorded);
        copy->start = addTicks(replayStart, detail::subtractTicks(recorded->start, sectionStart_));
        noteObjects.push_back(copy);
        indexNote(copy, copy->duration == 0);
    }
    currentMeasureTimestamp = addTicks(replayStart, length);
    setAllVoiceClocks(currentMeasureTimestamp);
    repeatSectionNotes.clear();
    // Recording goes on after the repeat sign unless a first ending stopped it; a later backward
    // repeat then replays from here.
    sectionStart_ = currentMeasureTimestamp;
}

void JpsMusicXmlConverter::alignPickupMeasure() {
    if (beatType == 0) fail("Missing time node");
    const float fullBar = 4.0f / static_cast<float>(beatType) *
                          static_cast<float>(beatsPerMeasure) * static_cast<float>(SampleRate);
    if (!fitsInTicks(fullBar)) fail("Error in time node");
    const auto fullBarTicks = static_cast<int64_t>(fullBar);
    const int64_t shift = detail::subtractTicks(fullBarTicks, currentMeasureTimestamp);
    // Tempo and dynamics marks stay where they are; every note moves, and with it every tick the
    // held ties, the repeat section and the duplicate test remember.
    for (const auto& note : noteObjects)
        if (note) note->start = addTicks(note->start, shift);
    for (auto& [key, held] : tieBuffer_)
        held.end = addTicks(held.end, shift);
    indexShift_ = addTicks(indexShift_, shift);
    sectionStart_ = addTicks(sectionStart_, shift);
    sectionStop_ = addTicks(sectionStop_, shift);
    currentMeasureTimestamp = fullBarTicks;
    setAllVoiceClocks(fullBarTicks);
}

int64_t JpsMusicXmlConverter::latestVoiceClock() const {
    return *std::max_element(currentVoiceTimestamp.begin(), currentVoiceTimestamp.end());
}

void JpsMusicXmlConverter::setAllVoiceClocks(int64_t tick) {
    std::fill(currentVoiceTimestamp.begin(), currentVoiceTimestamp.end(), tick);
}

}  // namespace score
