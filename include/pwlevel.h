/* pwlevel: four access levels (0 to 3), one password each, kept in the
 * record line of a plain text password file.
 *
 * The file is named by the environment variable PASSWD (read from a copy of
 * the environment taken when the library is loaded, the name matched without
 * regard to case), or else by the built-in default path.
 */
#ifndef PWLEVEL_H
#define PWLEVEL_H

#include <stdint.h>

#if defined(_WIN32)
#if defined(PWLEVEL_BUILDING)
#define PWLEVEL_API __declspec(dllexport)
#elif defined(PWLEVEL_STATIC) /* linked with the library's objects */
#define PWLEVEL_API
#else
#define PWLEVEL_API __declspec(dllimport)
#endif
#elif defined(__GNUC__)
#define PWLEVEL_API __attribute__((visibility("default")))
#else
#define PWLEVEL_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The lowest and highest access level. */
#define PWLEVEL_MIN_LEVEL 0
#define PWLEVEL_MAX_LEVEL 3

/* The longest password that ChangePw stores, in bytes. */
#define PWLEVEL_MAX_PASSWORD 8

/* VerifyPw: the password opens no level. */
#define PWLEVEL_NO_LEVEL (-1)

/* ChangePw results. */
#define PWLEVEL_CHANGED 0       /* the new password is stored */
#define PWLEVEL_REFUSED (-1)    /* bad level or password, or no record line */
#define PWLEVEL_FILE_ERROR (-2) /* a file step failed; see the README */

/* Answers the access level (0 to 3) that `password` opens, or
 * PWLEVEL_NO_LEVEL. The password is cut at its first space, in place. */
PWLEVEL_API int32_t VerifyPw(char *password);

/* Sets the password of `level` to `password` (at most 8 bytes before any
 * cut). The password is cut at its first space, in place. Answers
 * PWLEVEL_CHANGED, PWLEVEL_REFUSED or PWLEVEL_FILE_ERROR. */
PWLEVEL_API int32_t ChangePw(int32_t level, char *password);

#ifdef __cplusplus
}
#endif

#endif /* PWLEVEL_H */
