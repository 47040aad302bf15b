// reader-bench [--runs N] [--records N] [FILE]: times the LDIF change
// processor's own work (read, unfold, parse, decode, build the modification
// lists) against libldap's ldif_read_record + ldap_parse_ldif_record on the
// same file, without a server: the processor applies to a directory that only
// counts requests and values.
//
// Without FILE it writes an add file of --records records (default
// 1,000,000; the records of `generate-ldif adds`) to a temporary file. Each
// run is a child process, the two readers taking turns; the median wall and
// cpu (user + system) times of --runs runs (default 5) and the largest peak
// resident set size are printed, with the ratios of the medians. Records per
// second and the first ratio are taken from cpu time, which other load on
// the machine disturbs less. Exits 1 when the two readers see
// different records or values.
// ldif.h needs FILE and the ldap.h types declared before it.
// clang-format off
#include <stdio.h>
#include <ldap.h>
#include <ldif.h>
// clang-format on
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/directory_requests.h"
#include "ldif/apply.h"

namespace {

struct Counts {
  long records = 0;
  long modifications = 0;
  long values = 0;
  long bytes = 0;

  void take(LDAPMod** mods) {
    ++records;
    for (; mods != nullptr && *mods != nullptr; ++mods) {
      ++modifications;
      for (berval** value = (*mods)->mod_bvalues; value != nullptr && *value != nullptr; ++value) {
        ++values;
        bytes += static_cast<long>((*value)->bv_len);
      }
    }
  }
};

// Takes the processor's requests without sending them.
class CountingDirectory : public DirectoryRequests {
 public:
  Counts counts;

  int bind(const std::string&, const std::string&) override { return 0; }
  int search(const std::string&, SearchScope, const std::string&, const std::vector<std::string>&,
             std::vector<DirectoryEntry>&) override {
    return 0;
  }
  int add(const std::string&, LDAPMod** mods) override {
    counts.take(mods);
    return 0;
  }
  int modify(const std::string&, LDAPMod** mods) override {
    counts.take(mods);
    return 0;
  }
  int remove(const std::string&) override {
    counts.take(nullptr);
    return 0;
  }
  int rename(const std::string&, const std::string&, const char*, bool) override {
    counts.take(nullptr);
    return 0;
  }
  int extendedOperation(const std::string&, const std::string&) override { return 0; }
  int readSchemaNames(SchemaElementKind, std::vector<std::string>&) override { return 0; }
  int refreshServer() override { return 0; }
};

int runProcessor(const char* path, Counts* counts) {
  CountingDirectory directory;
  int result = applyLdifFile(path, directory);
  *counts = directory.counts;
  return result;
}

int runLibrary(const char* path, Counts* counts) {
  LDIFFP* file = ldif_open(path, "r");
  if (file == nullptr) {
    perror(path);
    return 1;
  }
  unsigned long lineNumber = 0;
  char* buffer = nullptr;
  int bufferSize = 0;
  int result = 0;
  while (ldif_read_record(file, &lineNumber, &buffer, &bufferSize) > 0) {
    berval text{strlen(buffer), buffer};
    LDIFRecord record{};
    result = ldap_parse_ldif_record(&text, lineNumber, &record, "reader-bench", 0);
    if (result != 0) {
      break;
    }
    counts->take(record.lrop_mods);
    ldap_ldif_record_done(&record);
  }
  ber_memfree(buffer);
  ldif_close(file);
  return result;
}

struct Measurement {
  double seconds = 0;     // wall time
  double cpuSeconds = 0;  // user and system time
  long peakKilobytes = 0;
  Counts counts;
};

// Runs one reader in a child process, so that each run has its own peak
// memory and starts from the same state.
bool measure(int (*reader)(const char*, Counts*), const char* path, Measurement* measurement) {
  int channel[2];
  if (pipe(channel) != 0) {
    perror("pipe");
    return false;
  }
  pid_t child = fork();
  if (child < 0) {
    perror("fork");
    return false;
  }
  if (child == 0) {
    close(channel[0]);
    Measurement taken;
    auto started = std::chrono::steady_clock::now();
    int result = reader(path, &taken.counts);
    taken.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    bool written = write(channel[1], &taken, sizeof taken) == sizeof taken;
    _exit(result == 0 && written ? 0 : 1);
  }
  close(channel[1]);
  bool received = read(channel[0], measurement, sizeof *measurement) == sizeof *measurement;
  close(channel[0]);
  int status = 0;
  rusage usage{};
  if (wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0 ||
      !received) {
    fprintf(stderr, "reader-bench: a run failed\n");
    return false;
  }
  measurement->cpuSeconds =
      static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
      static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  measurement->peakKilobytes = usage.ru_maxrss;
  return true;
}

bool writeAddFile(const char* path, long records) {
  FILE* out = fopen(path, "w");
  if (out == nullptr) {
    perror(path);
    return false;
  }
  for (long i = 0; i < records; ++i) {
    char uid[32];
    snprintf(uid, sizeof uid, "user%06ld", i);
    fprintf(out,
            "dn: uid=%s,o=corp\nchangetype: add\nobjectClass: inetOrgPerson\nuid: %s\n"
            "cn: User %s\nsn: %s\nmail: %s@corp.example\ntelephoneNumber: +1 555 %07ld\n"
            "description: benchmark entry %s\n\n",
            uid, uid, uid, uid, uid, i, uid);
  }
  return fclose(out) == 0;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  size_t middle = values.size() / 2;
  return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 5;
  long records = 1000000;
  const char* path = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
      runs = atoi(argv[++i]);
    } else if (strcmp(argv[i], "--records") == 0 && i + 1 < argc) {
      records = atol(argv[++i]);
    } else if (argv[i][0] != '-' && path == nullptr) {
      path = argv[i];
    } else {
      fprintf(stderr, "usage: %s [--runs N] [--records N] [FILE]\n", argv[0]);
      return 2;
    }
  }
  if (runs < 1 || records < 1) {
    fprintf(stderr, "reader-bench: --runs and --records take a positive number\n");
    return 2;
  }
  char generated[] = "/tmp/reader-bench.XXXXXX";
  if (path == nullptr) {
    int fd = mkstemp(generated);
    if (fd < 0) {
      perror("mkstemp");
      return 1;
    }
    close(fd);
    path = generated;
    if (!writeAddFile(path, records)) {
      unlink(path);
      return 1;
    }
  }

  const char* names[] = {"processor", "libldap"};
  int (*readers[])(const char*, Counts*) = {runProcessor, runLibrary};
  std::vector<double> seconds[2];
  std::vector<double> cpuSeconds[2];
  long peak[2] = {0, 0};
  Counts counts[2];
  bool ok = true;
  for (int run = 0; run < runs && ok; ++run) {
    for (int tool = 0; tool < 2 && ok; ++tool) {
      Measurement measurement;
      ok = measure(readers[tool], path, &measurement);
      seconds[tool].push_back(measurement.seconds);
      cpuSeconds[tool].push_back(measurement.cpuSeconds);
      peak[tool] = std::max(peak[tool], measurement.peakKilobytes);
      counts[tool] = measurement.counts;
    }
  }
  if (path == generated) {
    unlink(generated);
  }
  if (!ok) {
    return 1;
  }
  printf("%-10s %9s %9s %8s %8s %10s %8s\n", "reader", "records", "values", "wall s", "cpu s",
         "records/s", "peak kB");
  for (int tool = 0; tool < 2; ++tool) {
    double cpu = median(cpuSeconds[tool]);
    printf("%-10s %9ld %9ld %8.3f %8.3f %10.0f %8ld\n", names[tool], counts[tool].records,
           counts[tool].values, median(seconds[tool]), cpu, counts[tool].records / cpu, peak[tool]);
  }
  printf("throughput ratio (processor / libldap): %.2f in cpu time, %.2f in wall time\n",
         median(cpuSeconds[1]) / median(cpuSeconds[0]), median(seconds[1]) / median(seconds[0]));
  if (counts[0].records != counts[1].records ||
      counts[0].modifications != counts[1].modifications || counts[0].values != counts[1].values ||
      counts[0].bytes != counts[1].bytes) {
    fprintf(stderr, "reader-bench: the readers saw different records or values\n");
    return 1;
  }
  return 0;
}
