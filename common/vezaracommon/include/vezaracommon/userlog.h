// Diagnostic log functions: one formatted line per call, no level filter.
#ifndef VEZARA_USERLOG_H
#define VEZARA_USERLOG_H

#include <cstdarg>

#define LOG_MESSAGE_SIZE 512

void LOG_Error(const char *function, unsigned line, const char *tag, const char *format, ...)
    __attribute__((format(printf, 4, 5)));
void LOG_Warning(const char *function, unsigned line, const char *tag, const char *format, ...)
    __attribute__((format(printf, 4, 5)));
void LOG_Info(const char *function, unsigned line, const char *tag, const char *format, ...)
    __attribute__((format(printf, 4, 5)));
void LOG_Perf(const char *function, unsigned line, const char *tag, const char *format, ...)
    __attribute__((format(printf, 4, 5)));
void LOG_Debug(const char *function, unsigned line, const char *tag, const char *format, ...)
    __attribute__((format(printf, 4, 5)));

// Shorthands for a source file that defines LOG_TAG before using them.
#define LOG_ERROR(...) LOG_Error(__func__, __LINE__, LOG_TAG, __VA_ARGS__)
#define LOG_WARNING(...) LOG_Warning(__func__, __LINE__, LOG_TAG, __VA_ARGS__)
#define LOG_INFO(...) LOG_Info(__func__, __LINE__, LOG_TAG, __VA_ARGS__)
#define LOG_PERF(...) LOG_Perf(__func__, __LINE__, LOG_TAG, __VA_ARGS__)
#define LOG_DEBUG(...) LOG_Debug(__func__, __LINE__, LOG_TAG, __VA_ARGS__)

#endif
