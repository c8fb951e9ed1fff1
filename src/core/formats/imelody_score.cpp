#include "imelody_score.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <utility>

namespace kestrix {
namespace {

constexpr int kDefaultOctave = 4;
constexpr int kWholeNote = 384;
constexpr int kLoudest = 15;
// Square lead: a ringtone's plain timbre, its fundamental the strongest partial.
constexpr uint8_t kInstrument = 80;

bool IsDigit(char c) noexcept
{
    return c >= '0' && c <= '9';
}

// Reads a decimal number of at most digits digits from text at i; -1 for none.
int ReadNumber(std::string_view text, std::size_t& i, std::size_t digits) noexcept
{
    const std::size_t start = i;
    int value = 0;
    while (i < text.size() && IsDigit(text[i]) && i - start < digits)
        value = value * 10 + (text[i++] - '0');
    return i == start ? -1 : value;
}

// The whole text is one decimal number in [least, most].
bool IsNumberIn(std::string_view text, int least, int most) noexcept
{
    std::size_t i = 0;
    const int value = ReadNumber(text, i, 4);
    return i == text.size() && value >= least && value <= most;
}

bool Skip(std::string_view text, std::size_t& i, std::string_view word) noexcept
{
    if (text.substr(i, word.size()) != word)
        return false;
    i += word.size();
    return true;
}

int NoteLength(int duration, char modifier) noexcept
{
    const int base = kWholeNote >> duration;
    switch (modifier) {
    case '.': return base * 3 / 2;
    case ':': return base * 7 / 4;
    case ';': return base * 2 / 3;
    default: return base;
    }
}

int Semitone(char letter) noexcept
{
    switch (letter) {
    case 'c': return 0;
    case 'd': return 2;
    case 'e': return 4;
    case 'f': return 5;
    case 'g': return 7;
    case 'a': return 9;
    case 'b': return 11;
    default: return -1;
    }
}

// A volume "V0".."V15", "V+" or "V-" at i (past it on success); volume
// changed.
bool ReadVolume(std::string_view text, std::size_t& i, int& volume) noexcept
{
    if (i >= text.size() || text[i] != 'V')
        return false;
    std::size_t p = i + 1;
    if (p < text.size() && (text[p] == '+' || text[p] == '-')) {
        volume = std::clamp(volume + (text[p] == '+' ? 1 : -1), 0, kLoudest);
        i = p + 1;
        return true;
    }
    const int value = ReadNumber(text, p, 2);
    if (value < 0 || value > kLoudest)
        return false;
    volume = value;
    i = p;
    return true;
}

// A step of a repeat block: a note or rest, or a volume mark (an absolute
// volume, or a change of it).
struct BlockStep {
    enum Type : uint8_t { Note, Volume } Kind;
    int Value;
    bool Relative;
    ImelodyNote Sound;
};

class MelodyReader {
public:
    MelodyReader(std::string_view melody, int64_t longest, int volume, ImelodyScore& score)
        : m_melody(melody), m_longest(longest), m_volume(volume), m_score(score)
    {
    }

    bool Read()
    {
        std::size_t i = 0;
        bool any = false;
        while (i < m_melody.size()) {
            if (m_melody[i] == '(') {
                if (!Repeat(i))
                    return false;
            } else if (!Element(i)) {
                return false;
            }
            any = true;
        }
        return any;
    }

private:
    // One note, rest, volume mark or command at i.
    bool Element(std::size_t& i)
    {
        const std::string_view text = m_melody;
        for (const std::string_view command : {"ledon", "ledoff", "vibeon", "vibeoff", "backon", "backoff"})
            if (Skip(text, i, command))
                return true;
        if (text[i] == 'V') {
            const bool relative = i + 1 < text.size() && (text[i + 1] == '+' || text[i + 1] == '-');
            const int before = m_volume;
            if (!ReadVolume(text, i, m_volume))
                return false;
            if (m_block != nullptr)
                m_block->push_back({BlockStep::Volume, relative ? m_volume - before : m_volume, relative, {}});
            return true;
        }
        if (text[i] == '*') {
            ++i;
            if (i >= text.size() || text[i] < '0' || text[i] > '8')
                return false;
            m_octave = text[i++] - '0';
            return i < text.size() && (Semitone(text[i]) >= 0 || text[i] == '#' || text[i] == '&');
        }
        int accidental = 0;
        if (text[i] == '#' || text[i] == '&') {
            accidental = text[i] == '#' ? 1 : -1;
            ++i;
            if (i >= text.size() || Semitone(text[i]) < 0)
                return false;
        }
        const char letter = text[i];
        if (Semitone(letter) < 0 && (letter != 'r' || accidental != 0))
            return false;
        ++i;
        if (i >= text.size() || text[i] < '0' || text[i] > '5')
            return false;
        const int duration = text[i++] - '0';
        char modifier = ' ';
        if (i < text.size() && (text[i] == '.' || text[i] == ':' || text[i] == ';'))
            modifier = text[i++];
        ImelodyNote note;
        note.Length = NoteLength(duration, modifier);
        note.Volume = m_volume;
        if (letter != 'r')
            note.Key = std::clamp(24 + 12 * m_octave + Semitone(letter) + accidental, 0, 127);
        if (m_block != nullptr)
            m_block->push_back({BlockStep::Note, 0, false, note});
        Add(note);
        return true;
    }

    // A repeat block "(" elements "@" count [V+|V-] ")" at i.
    bool Repeat(std::size_t& i)
    {
        const std::string_view text = m_melody;
        ++i;
        std::vector<BlockStep> block;
        m_block = &block;
        bool any = false;
        while (i < text.size() && text[i] != '@') {
            if (text[i] == '(' || text[i] == ')' || !Element(i)) {
                m_block = nullptr;
                return false;
            }
            any = true;
        }
        m_block = nullptr;
        if (!any || i >= text.size())
            return false;
        ++i;
        const int count = ReadNumber(text, i, 9);
        if (count < 0)
            return false;
        int step = 0;
        if (i + 1 < text.size() && text[i] == 'V' && (text[i + 1] == '+' || text[i + 1] == '-')) {
            step = text[i + 1] == '+' ? 1 : -1;
            i += 2;
        }
        if (i >= text.size() || text[i] != ')')
            return false;
        ++i;
        // "Forever" plays once. Each further round starts step louder and
        // replays the block's volume marks; a block without notes stops
        // changing anything once the volume is at an end of its range.
        const bool notes =
            std::any_of(block.begin(), block.end(), [](const BlockStep& s) { return s.Kind == BlockStep::Note; });
        const int rounds = notes ? count : std::min(count, 2 * kLoudest + 2);
        for (int round = 1; round < rounds && !m_score.Cut; ++round) {
            m_volume = std::clamp(m_volume + step, 0, kLoudest);
            for (const BlockStep& s : block) {
                if (s.Kind == BlockStep::Volume) {
                    m_volume = s.Relative ? std::clamp(m_volume + s.Value, 0, kLoudest) : s.Value;
                    continue;
                }
                ImelodyNote note = s.Sound;
                note.Volume = m_volume;
                Add(note);
            }
        }
        return true;
    }

    void Add(const ImelodyNote& note)
    {
        if (m_score.Cut)
            return;
        if (m_score.Length + note.Length > m_longest) {
            m_score.Cut = true;
            return;
        }
        m_score.Notes.push_back(note);
        m_score.Length += note.Length;
    }

    std::string_view m_melody;
    int64_t m_longest;
    int m_volume;
    int m_octave = kDefaultOctave;
    ImelodyScore& m_score;
    // The steps of the repeat block being read, replayed for its further rounds.
    std::vector<BlockStep>* m_block = nullptr;
};

enum class TextEnd : uint8_t { Ended, Cut, Broken };

// The logical lines of the text up to and with "END:IMELODY", folded lines
// joined: Ended there; Cut when the bytes end first (a last line without its
// line end is left out); Broken when a byte is no text.
TextEnd SplitLines(std::span<const uint8_t> bytes, std::vector<std::string>& lines)
{
    std::size_t p = 0;
    while (p < bytes.size()) {
        std::size_t end = p;
        while (end < bytes.size() && bytes[end] != '\r' && bytes[end] != '\n') {
            const uint8_t c = bytes[end];
            if (c < 0x20 && c != '\t')
                return TextEnd::Broken;
            ++end;
        }
        const std::string_view line(reinterpret_cast<const char*>(bytes.data()) + p, end - p);
        if (end == bytes.size() && line != "END:IMELODY")
            return TextEnd::Cut;
        if (!line.empty() && (line[0] == ' ' || line[0] == '\t') && !lines.empty()) {
            const std::size_t text = line.find_first_not_of(" \t");
            if (text != std::string_view::npos)
                lines.back() += line.substr(text);
        } else {
            lines.emplace_back(line);
        }
        if (lines.back() == "END:IMELODY")
            return TextEnd::Ended;
        if (end < bytes.size() && bytes[end] == '\r')
            ++end;
        if (end < bytes.size() && bytes[end] == '\n')
            ++end;
        p = end;
    }
    return TextEnd::Cut;
}

void PutBe32(std::vector<uint8_t>& out, uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(value >> shift));
}

void PutDelta(std::vector<uint8_t>& out, uint32_t value)
{
    uint8_t groups[5];
    int count = 0;
    do {
        groups[count++] = static_cast<uint8_t>(value & 0x7F);
        value >>= 7;
    } while (value != 0);
    while (count > 1)
        out.push_back(static_cast<uint8_t>(groups[--count] | 0x80));
    out.push_back(groups[0]);
}

}  // namespace

ImelodyScore ReadImelody(std::span<const uint8_t> bytes)
{
    ImelodyScore score;
    std::vector<std::string> lines;
    const TextEnd end = SplitLines(bytes, lines);
    if (end == TextEnd::Broken || lines.size() < 2 || lines.front() != "BEGIN:IMELODY")
        return score;
    // A cut text has no END line: its last line is a property line too.
    const std::size_t properties = end == TextEnd::Ended ? lines.size() - 1 : lines.size();
    bool version = false;
    bool format = false;
    bool seen[5] = {};  // NAME, COMPOSER, BEAT, STYLE, VOLUME
    const std::string* melody = nullptr;
    int volume = 7;
    for (std::size_t n = 1; n < properties; ++n) {
        const std::string_view line = lines[n];
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos)
            return score;
        const std::string_view key = line.substr(0, colon);
        const std::string_view value = line.substr(colon + 1);
        const auto once = [&](int which) { return !std::exchange(seen[which], true); };
        bool good = true;
        if (key == "VERSION") {
            good = !std::exchange(version, true) && value.size() == 3 && IsDigit(value[0]) && value[1] == '.' &&
                   IsDigit(value[2]);
        } else if (key == "FORMAT") {
            good = !std::exchange(format, true) && (value == "CLASS1.0" || value == "CLASS2.0");
        } else if (key == "NAME") {
            good = once(0);
        } else if (key == "COMPOSER") {
            good = once(1);
        } else if (key == "BEAT") {
            good = once(2) && IsNumberIn(value, 25, 900);
            if (good)
                score.Beat = std::stoi(std::string(value));
        } else if (key == "STYLE") {
            good = once(3) && value.size() == 2 && value[0] == 'S' && value[1] >= '0' && value[1] <= '2';
            if (good)
                score.Style = static_cast<ImelodyStyle>(value[1] - '0');
        } else if (key == "VOLUME") {
            std::size_t i = 0;
            good = once(4) && ReadVolume(value, i, volume) && i == value.size();
        } else if (key == "MELODY") {
            good = melody == nullptr;
            melody = &lines[n];
        } else {
            good = key.starts_with("X-") && key.size() > 2;
        }
        if (!good)
            return score;
    }
    if (!version || !format || melody == nullptr)
        return score;
    const int64_t longest = kLongestImelodyMs * kWholeNote * score.Beat / 240000;
    MelodyReader reader(std::string_view(*melody).substr(7), longest, volume, score);
    const bool read = reader.Read();
    if (end == TextEnd::Cut) {
        // The notes before the cut play, as a cut sound plays up to its cut:
        // a melody line cut by a fold keeps its notes before the first that
        // does not read.
        score.Partial = read || melody == &lines.back();
        if (!score.Partial) {
            score.Notes.clear();
            score.Length = 0;
            score.Cut = false;
        }
        return score;
    }
    score.Valid = read;
    if (!score.Valid) {
        score.Notes.clear();
        score.Length = 0;
        score.Cut = false;
    }
    return score;
}

std::vector<uint8_t> ImelodyMidiFile(const ImelodyScore& score)
{
    if (!score.Valid && (!score.Partial || score.Notes.empty()))
        return {};
    std::vector<uint8_t> track;
    const auto tempo = static_cast<uint32_t>(60000000 / score.Beat);
    track.insert(track.end(), {0x00, 0xFF, 0x51, 0x03, static_cast<uint8_t>(tempo >> 16),
                               static_cast<uint8_t>(tempo >> 8), static_cast<uint8_t>(tempo)});
    track.insert(track.end(), {0x00, 0xC0, kInstrument});
    uint32_t pending = 0;
    for (const ImelodyNote& note : score.Notes) {
        const auto length = static_cast<uint32_t>(note.Length);
        if (note.Key < 0 || note.Volume == 0) {
            pending += length;
            continue;
        }
        uint32_t sounding = length;
        if (score.Style == ImelodyStyle::Natural)
            sounding = length - length / 16;
        else if (score.Style == ImelodyStyle::Staccato)
            sounding = length / 2;
        const auto key = static_cast<uint8_t>(note.Key);
        const auto velocity = static_cast<uint8_t>(note.Volume * 127 / kLoudest);
        PutDelta(track, pending);
        track.insert(track.end(), {0x90, key, velocity});
        PutDelta(track, sounding);
        track.insert(track.end(), {0x80, key, 0x40});
        pending = length - sounding;
    }
    PutDelta(track, pending);
    track.insert(track.end(), {0xFF, 0x2F, 0x00});

    std::vector<uint8_t> file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, kWholeNote / 4};
    file.insert(file.end(), {'M', 'T', 'r', 'k'});
    PutBe32(file, static_cast<uint32_t>(track.size()));
    file.insert(file.end(), track.begin(), track.end());
    return file;
}

}  // namespace kestrix
