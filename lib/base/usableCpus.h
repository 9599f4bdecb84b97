// How many CPUs the process may keep busy at once: what sizes the library's own threads, so
// that a host's CPU set or container quota is kept.
#pragma once

#include <string>

namespace tulim {

// The CPUs of the process's CPU set (sched_getaffinity), fewer when a cgroup CPU quota on its
// group or a parent group allows less; at least 1.
int usableCpuCount();

// The CPUs a quota allows, rounded up: from the text of a cgroup v2 "cpu.max" file ("max" or
// "<quota> <period>"), or from the two numbers of cgroup v1's cpu.cfs_quota_us and
// cpu.cfs_period_us (a quota below 0 is none). 0 when no quota is set or the text is not one.
int cpuMaxQuotaCpus(const std::string& cpuMax);
int cfsQuotaCpus(long long quotaMicroseconds, long long periodMicroseconds);

}  // namespace tulim
