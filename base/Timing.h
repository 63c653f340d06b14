#pragma once

namespace quarn::base {

// Every protocol pause and timeout goes through here, so tests can shorten the long waits
// (3 s, 10 s) by scaling time instead of taking another code path. The scale is 1 in the program.
void SetTimeScale(double scale);
double TimeScale();

// ms multiplied by the time scale, at least 1 when ms > 0.
int Scaled(int ms);

// Sleeps Scaled(ms).
void Pause(int ms);

}  // namespace quarn::base
