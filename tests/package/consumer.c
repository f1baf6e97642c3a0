/* A host program built against an installed pwlevel. The password file is
 * named by PASSWD, which is set before the program starts (the library reads
 * it when it is loaded): the host writes a file there holding a comment, an
 * empty record line and one more line, sets a password for every level,
 * verifies them, and checks the file's other lines came through. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "pwlevel.h"

static int failures = 0;

static void Expect(int got, int want, const char *what) {
  if (got != want) {
    fprintf(stderr, "consumer: %s: got %d, want %d\n", what, got, want);
    ++failures;
  }
}

static int WriteFile(const char *path, const char *text) {
  FILE *file = fopen(path, "wb");
  if (file == NULL) {
    return 0;
  }
  const int written = fputs(text, file) >= 0;
  return fclose(file) == 0 && written;
}

static void ExpectFileHolds(const char *path, const char *text) {
  char content[1024] = {0};
  FILE *file = fopen(path, "rb");
  const size_t got =
      file != NULL ? fread(content, 1, sizeof content - 1, file) : 0;
  if (file != NULL) {
    fclose(file);
  }
  if (got == 0 || strstr(content, text) == NULL) {
    fprintf(stderr, "consumer: the password file lost \"%s\"\n", text);
    ++failures;
  }
}

int main(void) {
  const char *path = getenv("PASSWD");
  if (path == NULL ||
      !WriteFile(path, "; consumer\r\nPasswd=:\r\nafter the record\r\n")) {
    fprintf(stderr, "consumer: cannot write the file named by PASSWD\n");
    return 1;
  }

  char passwords[4][16] = {"zero", "one", "two", "three"};
  for (int level = PWLEVEL_MIN_LEVEL; level <= PWLEVEL_MAX_LEVEL; ++level) {
    Expect(ChangePw(level, passwords[level]), PWLEVEL_CHANGED, "ChangePw");
  }
  char typed[4][32] = {"zero", "one and more", "two", "three"};
  for (int level = PWLEVEL_MIN_LEVEL; level <= PWLEVEL_MAX_LEVEL; ++level) {
    Expect(VerifyPw(typed[level]), level, typed[level]);
  }
  char wrong[] = "thre";
  Expect(VerifyPw(wrong), PWLEVEL_NO_LEVEL, "VerifyPw(a wrong password)");
  char too_long[] = "ninechars";
  Expect(ChangePw(1, too_long), PWLEVEL_REFUSED, "ChangePw(9 characters)");
  Expect(ChangePw(PWLEVEL_MAX_LEVEL + 1, passwords[0]), PWLEVEL_REFUSED,
         "ChangePw(level 4)");
  ExpectFileHolds(path, "; consumer\r\n");
  ExpectFileHolds(path, "after the record\r\n");

  if (failures != 0) {
    return 1;
  }
  printf("consumer: the installed library changed and verified passwords\n");
  return 0;
}
