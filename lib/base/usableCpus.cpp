#include "usableCpus.h"

#include <sched.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <vector>

namespace tulim {

namespace {

std::string firstLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  if (in) std::getline(in, line);
  return line;
}

// The group itself, then its parents up to the hierarchy's root: a parent's quota binds too.
std::vector<std::string> groupAndParents(std::string group) {
  std::vector<std::string> chain;
  while (!group.empty() && group.back() == '/') group.pop_back();
  for (;;) {
    chain.push_back(group);
    const size_t slash = group.rfind('/');
    if (group.empty() || slash == std::string::npos) break;
    group.erase(slash);
  }
  return chain;
}

// The lowest quota of the groups listed in /proc/self/cgroup, in CPUs; 0 when none is set.
int cgroupQuotaCpus() {
  std::ifstream list("/proc/self/cgroup");
  std::string line;
  int lowest = 0;
  auto take = [&](int cpus) {
    if (cpus > 0 && (lowest == 0 || cpus < lowest)) lowest = cpus;
  };
  while (std::getline(list, line)) {
    // "hierarchy-id:controllers:path"; cgroup v2 has id 0 and no controllers.
    const size_t first = line.find(':');
    const size_t second = first == std::string::npos ? first : line.find(':', first + 1);
    if (second == std::string::npos) continue;
    const std::string controllers = line.substr(first + 1, second - first - 1);
    const std::string path = line.substr(second + 1);
    if (controllers.empty()) {
      for (const std::string& group : groupAndParents(path))
        take(cpuMaxQuotaCpus(firstLine("/sys/fs/cgroup" + group + "/cpu.max")));
      continue;
    }
    std::stringstream names(controllers);
    std::string name;
    bool cpu = false;
    while (std::getline(names, name, ',')) cpu = cpu || name == "cpu";
    if (!cpu) continue;
    for (const char* mount : {"/sys/fs/cgroup/cpu,cpuacct", "/sys/fs/cgroup/cpu"})
      for (const std::string& group : groupAndParents(path)) {
        const std::string dir = mount + group;
        const std::string quota = firstLine(dir + "/cpu.cfs_quota_us");
        const std::string period = firstLine(dir + "/cpu.cfs_period_us");
        if (quota.empty() || period.empty()) continue;
        take(cfsQuotaCpus(std::atoll(quota.c_str()), std::atoll(period.c_str())));
      }
  }
  return lowest;
}

}  // namespace

int cfsQuotaCpus(long long quotaMicroseconds, long long periodMicroseconds) {
  if (quotaMicroseconds <= 0 || periodMicroseconds <= 0) return 0;
  const long long cpus = (quotaMicroseconds + periodMicroseconds - 1) / periodMicroseconds;
  return static_cast<int>(std::min<long long>(cpus, 1 << 20));
}

int cpuMaxQuotaCpus(const std::string& cpuMax) {
  long long quota = 0, period = 0;
  char rest = 0;
  if (std::sscanf(cpuMax.c_str(), "%lld %lld %c", &quota, &period, &rest) != 2) return 0;
  return cfsQuotaCpus(quota, period);
}

int usableCpuCount() {
  int cpus = 0;
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0) cpus = CPU_COUNT(&set);
  if (cpus < 1) cpus = 1;
  const int quota = cgroupQuotaCpus();
  if (quota > 0) cpus = std::min(cpus, quota);
  return cpus;
}

}  // namespace tulim
