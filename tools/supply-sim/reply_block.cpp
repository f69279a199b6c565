#include "reply_block.h"

#include "command_frame.h"

#include <algorithm>
#include <cctype>

namespace supplysim {

namespace {

constexpr std::size_t kSeparatorPosition = 10; // the "A" between the two readings
constexpr std::size_t kStatusPosition = 15;
constexpr char kNoise = '\xff';

} // namespace

std::string fourDigits(int value) {
    value = std::clamp(value, 0, 9999);
    std::string digits(4, '0');
    for (int i = 3; i >= 0; --i) {
        digits[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    return digits;
}

std::string formatReply(const Reading& reading) {
    std::string block(kTag);
    block += fourDigits(reading.voltage);
    block += 'A';
    block += fourDigits(reading.current);
    block += reading.overCurrent ? 'B' : 'W';
    return block;
}

ReplyShaper::ReplyShaper(const Faults& faults, unsigned seed) : faults_(faults), random_(seed) {}

bool ReplyShaper::damageNext() {
    switch (faults_.damage) {
    case Damage::None:
        return false;
    case Damage::EveryOther:
        previousDamaged_ = !previousDamaged_;
        return previousDamaged_;
    case Damage::Percent:
        return std::uniform_int_distribution<int>(0, 99)(random_) < faults_.damagePercent;
    }
    return false;
}

void ReplyShaper::damage(std::string& block) {
    // Alternate the two letters the program checks, so both of its tests get exercised.
    if (damageStatusLetter_) {
        block[kStatusPosition] =
            static_cast<char>(std::tolower(static_cast<unsigned char>(block[kStatusPosition])));
    } else {
        block[kSeparatorPosition] = 'X';
    }
    damageStatusLetter_ = !damageStatusLetter_;
}

void ReplyShaper::addNoise(std::string& bytes) {
    std::uniform_int_distribution<std::size_t> inside(1, bytes.size() - 1);
    std::uniform_int_distribution<std::size_t> count(1, 3);
    bytes.insert(inside(random_), count(random_), kNoise);
    bytes.append(count(random_), kNoise);
}

std::vector<ReplyChunk> ReplyShaper::shape(std::string block) {
    if (damageNext()) {
        damage(block);
    }
    if (faults_.noTag) {
        block.erase(0, kTag.size());
    }
    if (faults_.ffNoise) {
        addNoise(block);
    }
    if (!faults_.split) {
        return {ReplyChunk{std::move(block), 0}};
    }
    const std::size_t cut =
        std::uniform_int_distribution<std::size_t>(1, block.size() - 1)(random_);
    return {ReplyChunk{block.substr(0, cut), 0}, ReplyChunk{block.substr(cut), kSplitGapMs}};
}

} // namespace supplysim
