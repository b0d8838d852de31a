// Umbrella header: every public class of liborn2, and the log file's format.
#ifndef LIBORN2_LIBORN2_H
#define LIBORN2_LIBORN2_H

#include <liborn2/config.h>
#include <liborn2/cron.h>
#include <liborn2/endpoint.h>
#include <liborn2/export.h>
#include <liborn2/ipparser.h>
#include <liborn2/log.h>
#include <liborn2/log_format.h>
#include <liborn2/mutex.h>
#include <liborn2/thread.h>

#endif  // LIBORN2_LIBORN2_H
