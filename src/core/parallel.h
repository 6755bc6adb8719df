// Work spread over the calling thread and one helper thread: every index of
// 0..count-1 is handed to exactly one of them, so a job that writes only its
// own index's results gives the same results as a plain loop, whichever
// thread ran which index.
#pragma once

#include <functional>

// Runs job(i) for every i in 0..count-1 and returns when all have run. With
// fewer than two indices, on a machine with one core, or when called from
// inside a job, it is a plain loop on the calling thread.
void parallel_for(int count, const std::function<void(int)>& job);

// Whether parallel_for uses its helper thread (false on one core or after
// set_parallel_enabled(false)).
bool parallel_enabled();
void set_parallel_enabled(bool enabled);
