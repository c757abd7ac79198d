#include "archive/passwords.h"

#include <string.h>

#include "platform/platform.h"
#include "startup/sfx_globals.h"

static const uint32_t kFormCodePages[kPasswordForms] = {kAnsiCodePage, kKoreanCodePage, kUtf8CodePage};

static uint32_t AnyForm(uint32_t index, const Text& password, char* out, uint32_t size) {
    if (password.length == 0) return 0;
    if (kFormCodePages[index] != kUtf8CodePage)
        return Utf8ToCodePage(kFormCodePages[index], password.bytes, password.length, out, size);
    if (password.length > size) return 0;
    memcpy(out, password.bytes, password.length);
    return password.length;
}

uint32_t PasswordForm(uint32_t index, const Text& password, char* out, uint32_t size) {
    uint32_t length = AnyForm(index, password, out, size);
    char earlier[kPasswordBufferSize];
    for (uint32_t before = 0; length > 0 && before < index; ++before) {
        uint32_t earlierLength = AnyForm(before, password, earlier, sizeof earlier);
        if (earlierLength == length && memcmp(earlier, out, length) == 0) return 0;
    }
    return length;
}

static bool SomeFormOpens(PasswordTest opens, void* context) {
    char form[kPasswordBufferSize];
    for (uint32_t index = 0; index < kPasswordForms; ++index) {
        uint32_t length = PasswordForm(index, Sfx.Password, form, sizeof form);
        if (length > 0 && opens(form, length, context)) return true;
    }
    return false;
}

bool FindPassword(bool askFirst, PasswordTest opens, void* context) {
    bool ready = !askFirst && Sfx.Password.length > 0 && SomeFormOpens(opens, context);
    for (uint32_t attempt = 0; !ready && attempt < kPasswordAttempts; ++attempt) {
        AskPassword();
        ReleaseText(Sfx.Password);
        Sfx.Password = TextFromBuffer(Sfx.PasswordBuffer, (uint16_t)Sfx.PasswordLength);
        ready = SomeFormOpens(opens, context);
    }
    return ready;
}
