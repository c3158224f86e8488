#include "app/log.h"

#include "platform/platform.h"

void BeginLogging() {
    Log << "begin logging"
        << "--------------------\n"
        << std::endl;
    // The viewer steers with the mouse; its pointer is never shown again.
    ShowCursor(FALSE);
}
