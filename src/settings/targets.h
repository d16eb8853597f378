// The target table "targets.cfi": one chip per line, name;id;start;aux1;end;aux2 in hex.
#pragma once

#include <cstdint>
#include <string>

struct TTargetRec {
    std::string Name;
    std::uint32_t ChipId = 0;
    std::uint32_t FlashStart = 0;
    std::uint32_t Aux1 = 0;
    std::uint32_t FlashEnd = 0;  // inclusive
    std::uint32_t Aux2 = 0;
};

inline constexpr int kTargetCount = 256;
extern TTargetRec Targets[kTargetCount];
extern std::int32_t TargetLast;

// The list that shows the table: item i always stands for Targets[i].
// The window's chip combo box implements it.
class TChipList {
public:
    virtual ~TChipList() = default;
    virtual void AddItem(const std::string& text) = 0;
};

inline constexpr const char* kTargetsFileName = "targets.cfi";

// A chosen target becomes the current chip: its flash range into Ini
// (FlashEnd is inclusive) under the name given.
void TakeTarget(const TTargetRec& target, const std::string& chipName);

// The first named entry 0..TargetLast with that product ID, -1 if none.
int FindTargetById(std::uint16_t productId);
// The entry of that name; else the first whose name has the same letters in
// any case, blanks around either ignored. -1 if none.
int FindTargetByName(const std::string& name);

// Starts Targets afresh and appends one item per entry. Entry lines beyond
// the 256th are ignored.
void LoadTargets(const std::string& fileName, TChipList& chipList);
