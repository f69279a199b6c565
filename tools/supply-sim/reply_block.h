#pragma once

#include "supply_model.h"

#include <random>
#include <string>
#include <vector>

namespace supplysim {

// Four digits, most significant first; values outside 0..9999 are pinned to the nearest end so
// the block keeps its length whatever the model says.
std::string fourDigits(int value);

// "VKPPSU" + voltage + "A" + current + "W" (normal) or "B" (over-current).
std::string formatReply(const Reading& reading);

enum class Damage {
    None,
    EveryOther, // blocks 2, 4, 6, ... are damaged
    Percent,    // each block is damaged with the given chance
};

// Ways a flaky line or a faulty supply can spoil the replies.
struct Faults {
    bool noTag = false;   // send the block without its tag
    bool ffNoise = false; // 0xFF bytes inside and after each block
    bool split = false;   // each block in two writes, some ms apart
    Damage damage = Damage::None;
    int damagePercent = 0;
};

// Gap between the two halves of a split block: long enough that a read can fall in between,
// short enough that the second half always goes out before the next block is due.
inline constexpr int kSplitGapMs = 40;

struct ReplyChunk {
    std::string bytes;
    int delayMs = 0; // after the previous chunk of the same block
};

// Turns each reply block into what actually goes on the line, with the faults chosen.
class ReplyShaper {
public:
    ReplyShaper(const Faults& faults, unsigned seed);

    std::vector<ReplyChunk> shape(std::string block);

private:
    bool damageNext();
    void damage(std::string& block);
    void addNoise(std::string& bytes);

    Faults faults_;
    std::mt19937 random_;
    bool previousDamaged_ = true;
    bool damageStatusLetter_ = false;
};

} // namespace supplysim
