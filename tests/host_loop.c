/* A plain C host: it writes a password file at $PASSWD, then changes and
 * verifies passwords in a loop, checking every answer. Run under memcheck,
 * it shows the library leaks nothing and leaves no descriptor open. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "pwlevel.h"

static int Fail(const char *what, int round) {
  fprintf(stderr, "host_loop: %s (round %d)\n", what, round);
  return 1;
}

int main(void) {
  const char *path = getenv("PASSWD");
  FILE *file = path != NULL ? fopen(path, "wb") : NULL;
  if (file == NULL) {
    return Fail("cannot create the file named by PASSWD", 0);
  }
  fputs("; host loop\r\nPasswd=:\r\nafter\r\n", file);
  fclose(file);

  for (int round = 0; round < 200; ++round) {
    char password[16];
    char typed[32];
    const int level = round % 4;
    snprintf(password, sizeof password, "pw%d", round);
    if (ChangePw(level, password) != PWLEVEL_CHANGED) {
      return Fail("ChangePw failed", round);
    }
    snprintf(typed, sizeof typed, "pw%d and more", round);
    if (VerifyPw(typed) != level) {
      return Fail("the new password does not open its level", round);
    }
    strcpy(typed, "not a password");
    if (VerifyPw(typed) != PWLEVEL_NO_LEVEL) {
      return Fail("a wrong password opens a level", round);
    }
  }
  return 0;
}
