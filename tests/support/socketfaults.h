#pragma once
// Socket faults and canned host lookups for tests, through the socket's seam.

#include "net/starsock.h"

#include <string>
#include <vector>

// The next `count` calls of one kind fail with `posixErrno` instead of reaching the system.
// Recv covers the data reads, not the readiness probe.
void FailNextSocketCalls(TSocketCall call, int posixErrno, int count = 1);
// Lookups of `name` answer with these addresses (textual, in this order) without asking the
// resolver; an empty list ends that. ClearSocketFaults ends them all.
void AnswerLookups(const std::string& name, std::vector<std::string> addresses);
void ClearSocketFaults();
