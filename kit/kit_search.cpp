// Finding the kit file: the first directory entry matching "*.kit", which
// must carry the product prefix.
#include "core/console.h"
#include "core/text.h"
#include "kit/kit.h"
#include "kit/kit_files.h"

bool hasKitPrefix(const std::string& name) { return startsWithIgnoringCase(name.c_str(), KIT_PREFIX); }

Outcome findKitFile(std::string& path) {
    path = KIT_PATTERN;
    std::string found;
    if (!findFirstKitEntry(found)) {
        consoleSay(Say::KitNotFound, path.c_str());
        return Outcome::Stop;
    }
    path = found;
    if (!hasKitPrefix(path)) {
        consoleSay(Say::KitPrefixWrong);
        return Outcome::Stop;
    }
    return Outcome::GoOn;
}
