#include "catalogue/name_matching.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "platform/text_points.h"

namespace {

struct CanonicalPair {
  uint32_t first;
  uint32_t second;
  uint32_t composed;
};

const CanonicalPair kCanonicalPairs[] = {
#include "catalogue/canonical_pairs.inc"
};

// Hangul syllables are composed by arithmetic: a leading consonant and a
// vowel make an LV syllable, which a trailing consonant makes LVT.
constexpr uint32_t kSyllableBase = 0xAC00, kLeadBase = 0x1100, kVowelBase = 0x1161,
                   kTrailBase = 0x11A7;
constexpr uint32_t kLeadCount = 19, kVowelCount = 21, kTrailCount = 28;
constexpr uint32_t kSyllableCount = kLeadCount * kVowelCount * kTrailCount;

bool ComposeHangul(uint32_t first, uint32_t second, uint32_t* composed) {
  if (first - kLeadBase < kLeadCount && second - kVowelBase < kVowelCount) {
    *composed = kSyllableBase + ((first - kLeadBase) * kVowelCount + (second - kVowelBase)) * kTrailCount;
    return true;
  }
  const bool lvSyllable = first - kSyllableBase < kSyllableCount && (first - kSyllableBase) % kTrailCount == 0;
  if (lvSyllable && second - kTrailBase - 1 < kTrailCount - 1) {
    *composed = first + (second - kTrailBase);
    return true;
  }
  return false;
}

bool Compose(uint32_t first, uint32_t second, uint32_t* composed) {
  if (ComposeHangul(first, second, composed)) return true;
  const CanonicalPair wanted{first, second, 0};
  const auto found = std::lower_bound(
      std::begin(kCanonicalPairs), std::end(kCanonicalPairs), wanted,
      [](const CanonicalPair& a, const CanonicalPair& b) {
        return a.first != b.first ? a.first < b.first : a.second < b.second;
      });
  if (found == std::end(kCanonicalPairs) || found->first != first || found->second != second) return false;
  *composed = found->composed;
  return true;
}

uint32_t Lowered(uint32_t point) {
  const bool asciiCapital = point >= 'A' && point <= 'Z';
  const bool latin1Capital = point >= 0xC0 && point <= 0xDE && point != 0xD7;
  return asciiCapital || latin1Capital ? point + 0x20 : point;
}

}  // namespace

std::u32string ComparableName(const std::string& name) {
  std::u32string key;
  for (const uint32_t point : platform::TextCodePoints(name)) {
    uint32_t composed = 0;
    if (!key.empty() && Compose(key.back(), point, &composed)) {
      key.back() = composed;
    } else {
      key.push_back(point);
    }
  }
  // Lowered after composing: "E" + U+0301 composes to "É", then "é".
  std::transform(key.begin(), key.end(), key.begin(), Lowered);
  return key;
}
