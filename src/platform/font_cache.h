#pragma once
// The fonts a memory surface's canvases resolved, by family and size: finding a family
// costs far more than drawing a line with it. Replacing the back buffer (every reload
// and resize of the band) lets go of every font not asked for since the previous
// replacement: a reload keeps the fonts the band was showing, and drops them at the next
// replacement if the new configuration does not use them. What a backend handed out
// from a font must stay valid after the cache lets go of it.

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tavisto::platform {

// More distinct fonts than any band shows; beyond it the oldest are resolved again.
inline constexpr std::size_t kMaxResolvedFonts = 64;

// `Font` is the backend's owner of a resolved font, false when resolving failed.
template <typename Font>
class FontCache {
  public:
    // The kept font of the family and size, resolved by `resolve()` when there is none;
    // null when resolving fails.
    template <typename Resolve>
    const Font* find(std::u16string_view family, float sizePixels, Resolve&& resolve) {
        for (Entry& kept : entries_) {
            if (kept.sizePixels == sizePixels && kept.family == family) {
                kept.used = true;
                return &kept.font;
            }
        }
        Font font = std::forward<Resolve>(resolve)();
        if (!font) {
            return nullptr;
        }
        if (entries_.size() >= kMaxResolvedFonts) {
            entries_.erase(entries_.begin());
        }
        entries_.push_back({std::u16string(family), sizePixels, std::move(font), true});
        return &entries_.back().font;
    }

    // Lets go of the fonts not asked for since the previous call.
    void dropUnused() {
        std::erase_if(entries_, [](const Entry& kept) { return !kept.used; });
        for (Entry& kept : entries_) {
            kept.used = false;
        }
    }

    std::size_t size() const { return entries_.size(); }

  private:
    struct Entry {
        std::u16string family;
        float sizePixels = 0.0F;
        Font font;
        bool used = true;  // asked for since the back buffer was last replaced
    };
    std::vector<Entry> entries_;
};

}  // namespace tavisto::platform
