// The box that shows a failed call's code with the system's text for it.
#include "common/support.h"

#include "common/format.h"

namespace zep {

void Support::ShowSystemErrorBox(const char* headingFormat, uint32_t code, uint32_t icon) {
    char heading[256];
    Format(heading, sizeof heading, headingFormat, int(code));
    run.StepFailed();
    std::string text = heading;
    Result<std::string> system = os.kernel.FormatMessageA(code, kLangEnglishUs);
    if (system.ok) text += system.value;
    os.user.AfxMessageBox(text, kMbOk | icon);
}

}  // namespace zep
