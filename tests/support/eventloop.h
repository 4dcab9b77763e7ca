#pragma once
// Driving the event loop from a test without fixed sleeps.

#include <functional>

// Runs the event loop until `done` holds or `timeoutMs` has passed; true when `done` held.
bool RunUntil(const std::function<bool()>& done, int timeoutMs = 5000);

// Delivers every event already posted (and what those post in turn, a few rounds deep).
void DrainPostedEvents();
