#include "window/window_texts.h"

#include "platform/win32/user_languages.h"

namespace tavisto::window {

const TextTable& windowTexts(std::string_view configuredLanguage) {
    return chooseTexts(configuredLanguage, win32::userDisplayLanguages());
}

}  // namespace tavisto::window
