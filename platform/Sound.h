#pragma once

#include <functional>

namespace platform {

// Plays the desktop's "dialog-question" event sound without waiting for it; where no
// sound server answers, the beep fallback sounds instead.
void playQuestionSound();

// Tests record plays instead of sounding; the window installs the display's beep.
using SoundPlayer = std::function<void()>;
void setSoundPlayer(SoundPlayer player); // empty restores the desktop sound
void setBeepFallback(std::function<void()> beep);

} // namespace platform
