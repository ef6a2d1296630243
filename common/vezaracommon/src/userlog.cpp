#include "vezaracommon/userlog.h"

#include <cstdio>
#include <sys/time.h>

namespace {

// Formats the message into the fixed-size buffer; vsnprintf cuts a longer
// message to LOG_MESSAGE_SIZE - 1 characters.
void formatMessage(char (&buffer)[LOG_MESSAGE_SIZE], const char *format, va_list args)
{
    if (vsnprintf(buffer, sizeof(buffer), format, args) < 0)
        buffer[0] = '\0';
}

}  // namespace

// Formats the variable arguments of the enclosing log function into `name`.
#define FORMAT_MESSAGE(name, format)                                                               \
    char name[LOG_MESSAGE_SIZE];                                                                   \
    do {                                                                                           \
        va_list args;                                                                              \
        va_start(args, format);                                                                    \
        formatMessage(name, format, args);                                                         \
        va_end(args);                                                                              \
    } while (0)

void LOG_Error(const char *function, unsigned line, const char *tag, const char *format, ...)
{
    FORMAT_MESSAGE(message, format);
    fprintf(stderr, "ERROR [%s]: %s():%u %s", tag, function, line, message);
}

void LOG_Warning(const char *function, unsigned, const char *tag, const char *format, ...)
{
    FORMAT_MESSAGE(message, format);
    fprintf(stderr, "WARNING [%s]: %s() %s", tag, function, message);
}

void LOG_Info(const char *function, unsigned, const char *tag, const char *format, ...)
{
    FORMAT_MESSAGE(message, format);
    fprintf(stdout, "INFO [%s]: %s() %s", tag, function, message);
}

void LOG_Perf(const char *function, unsigned, const char *tag, const char *format, ...)
{
    struct timeval now;  // read before formatting
    gettimeofday(&now, nullptr);
    FORMAT_MESSAGE(message, format);
    fprintf(stdout, "PERF [%s]: %s() %lu:%06lu %s", tag, function, (unsigned long)now.tv_sec,
            (unsigned long)now.tv_usec, message);
}

void LOG_Debug(const char *function, unsigned line, const char *tag, const char *format, ...)
{
    FORMAT_MESSAGE(message, format);
    fprintf(stderr, "DEBUG [%s]: %s():%u %s", tag, function, line, message);
}
