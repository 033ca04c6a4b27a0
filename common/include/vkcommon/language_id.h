// LanguageId of error and status texts. Libraries with texts in both languages
// start in English; only these two values are ever stored.
#ifndef VKCOMMON_LANGUAGE_ID_H
#define VKCOMMON_LANGUAGE_ID_H

namespace vk {

enum LanguageId : int { kLanguageGerman = 7, kLanguageEnglish = 9 };

constexpr bool isLanguageId(long value) {
    return value == kLanguageGerman || value == kLanguageEnglish;
}

} // namespace vk

#endif
