/* A plain Windows host: it loads pwlevel.dll with LoadLibraryA, finds both
 * functions with GetProcAddress, and makes one call:
 *
 *   pwlevel_win32_host [--after-load NAME=VALUE] verify PASSWORD
 *   pwlevel_win32_host [--after-load NAME=VALUE] change LEVEL PASSWORD
 *
 * Its exit code is the function's answer (-1 and -2 as themselves). With
 * --after-load, the environment variable is set once the DLL is loaded and
 * before the call. Exit codes 90 and up mean the host itself failed. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

typedef int32_t(__cdecl* VerifyFunction)(char*);
typedef int32_t(__cdecl* ChangeFunction)(int32_t, char*);

enum { kUsage = 90, kNotLoaded = 91, kNotFound = 92 };

static int Usage(void) {
  fprintf(stderr,
          "usage: pwlevel_win32_host [--after-load NAME=VALUE] "
          "{verify PASSWORD | change LEVEL PASSWORD}\n");
  return kUsage;
}

/* Sets NAME=VALUE in this process's environment. */
static int SetAfterLoad(char* assignment) {
  char* equals = strchr(assignment, '=');
  if (equals == NULL) {
    return 0;
  }
  *equals = '\0';
  return SetEnvironmentVariableA(assignment, equals + 1) != 0;
}

int main(int argc, char** argv) {
  int next = 1;
  char* after_load = NULL;
  if (argc > next + 1 && strcmp(argv[next], "--after-load") == 0) {
    after_load = argv[next + 1];
    next += 2;
  }
  const int verify = argc == next + 2 && strcmp(argv[next], "verify") == 0;
  const int change = argc == next + 3 && strcmp(argv[next], "change") == 0;
  if (!verify && !change) {
    return Usage();
  }

  /* The folder of the program is searched first: the DLL built beside it. */
  HMODULE library = LoadLibraryA("pwlevel.dll");
  if (library == NULL) {
    fprintf(stderr, "LoadLibraryA failed: %lu\n", GetLastError());
    return kNotLoaded;
  }
  /* Cast through a generic function pointer, as hosts do. */
  VerifyFunction verify_pw =
      (VerifyFunction)(void (*)(void))GetProcAddress(library, "VerifyPw");
  ChangeFunction change_pw =
      (ChangeFunction)(void (*)(void))GetProcAddress(library, "ChangePw");
  if (verify_pw == NULL || change_pw == NULL) {
    fprintf(stderr, "GetProcAddress:%s%s not found\n",
            verify_pw == NULL ? " VerifyPw" : "",
            change_pw == NULL ? " ChangePw" : "");
    return kNotFound;
  }
  if (after_load != NULL && !SetAfterLoad(after_load)) {
    return Usage();
  }

  int32_t result = 0;
  if (verify) {
    result = verify_pw(argv[next + 1]);
  } else {
    result = change_pw((int32_t)atoi(argv[next + 1]), argv[next + 2]);
  }
  FreeLibrary(library);
  return (int)result;
}
