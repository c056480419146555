// fbwarm-deny-syscall NUMBER ERRNO PROGRAM [ARGUMENT...]
// Runs PROGRAM under a seccomp filter that fails system call NUMBER with ERRNO (EPERM, ENOSYS or
// a number) and allows every other, as systemd's SystemCallFilter= with SystemCallErrorNumber=
// does for a call it does not know (systemd 252 and cachestat, 451). x86-64 only.
#include <errno.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <stddef.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int ErrnoByName(const char* name) {
  if (std::strcmp(name, "EPERM") == 0) return EPERM;
  if (std::strcmp(name, "ENOSYS") == 0) return ENOSYS;
  return std::atoi(name);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: fbwarm-deny-syscall NUMBER ERRNO PROGRAM [ARGUMENT...]\n");
    return 2;
  }
  const unsigned number = static_cast<unsigned>(std::atoi(argv[1]));
  const unsigned error = static_cast<unsigned>(ErrnoByName(argv[2])) & SECCOMP_RET_DATA;
  if (error == 0) {
    std::fprintf(stderr, "fbwarm-deny-syscall: no errno in %s\n", argv[2]);
    return 2;
  }
  sock_filter program[] = {
      // Another architecture's numbers mean other calls: refuse them all rather than guess.
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 1, 0),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_KILL_PROCESS),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, number, 0, 1),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | error),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
  };
  sock_fprog filter{static_cast<unsigned short>(sizeof program / sizeof program[0]), program};
  // Without no_new_privs only a caller with CAP_SYS_ADMIN may install a filter.
  if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
      prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &filter) != 0) {
    std::perror("fbwarm-deny-syscall: seccomp");
    return 2;
  }
  execv(argv[3], argv + 3);
  std::perror("fbwarm-deny-syscall: exec");
  return 127;
}
