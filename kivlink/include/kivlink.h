/* kivlink: the client library of the UPS monitoring service.
 *
 * InitClient chooses and connects to the UPS; OrvGet reads one item of it as a zero-terminated text.
 * Both answer KIVLINK_OK (0) on success. Safe to call from many threads at once; every call returns
 * within about a second, whatever the service does. */
#ifndef KIVLINK_H
#define KIVLINK_H

#ifdef __cplusplus
extern "C" {
#endif

/* Items for OrvGet. The texts fit 19 characters, RUN_TIME_REMAINING 7. */
enum {
  KIVLINK_RUN_TIME_REMAINING = 9, /* battery.runtime in whole minutes */
  KIVLINK_POWER_SOURCE = 203,     /* "306" load on battery, "305" on line, "304" otherwise */
  KIVLINK_UPS_STATE = 210,        /* "0" on line, "1" on battery, "2" otherwise */
  KIVLINK_BATTERY_FLOW = 225      /* "392" discharging, "391" otherwise */
};

enum {
  KIVLINK_OK = 0,
  KIVLINK_ERR_ARGUMENT = 1,          /* the server text cannot be understood */
  KIVLINK_ERR_NOT_INITIALISED = 2,   /* OrvGet before InitClient */
  KIVLINK_ERR_UNKNOWN_ITEM = 3,
  KIVLINK_ERR_CONNECT = 4,           /* the service cannot be reached */
  KIVLINK_ERR_TIMEOUT = 5,           /* the service did not answer in time */
  KIVLINK_ERR_NO_SUCH_UPS = 6,
  KIVLINK_ERR_VAR_NOT_SUPPORTED = 7, /* the UPS does not report what the item needs */
  KIVLINK_ERR_DATA_STALE = 8,        /* the service has no fresh reading */
  KIVLINK_ERR_ACCESS_DENIED = 9,
  KIVLINK_ERR_PROTOCOL = 10,         /* the service answered something unexpected */
  KIVLINK_ERR_DRIVER_NOT_CONNECTED = 11,
  KIVLINK_ERR_BAD_VALUE = 12,        /* the reading cannot be turned into the item */
  KIVLINK_ERR_UNKNOWN = 13
};

/* Chooses the UPS: `server` when not empty, else the environment variable KIVLINK_UPS, else
 * "nut://127.0.0.1:3493". Forms: "nut://[user:password@]host[:port][/ups]" and "sim:PATH".
 * Non-zero when the UPS cannot be reached; later calls try again. */
int InitClient(const char* server);

/* Writes the item's text into `buffer` (20 bytes suffice for every item, 8 for RUN_TIME_REMAINING).
 * On failure the buffer is left as it was. */
int OrvGet(int item, char* buffer);

/* A short English description of a result code. */
const char* KivlinkErrorText(int code);

#ifdef __cplusplus
}
#endif

#endif /* KIVLINK_H */
