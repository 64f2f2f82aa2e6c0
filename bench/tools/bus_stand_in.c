/* A service on the session bus that is not Kiruvo, as a program written straight on libdbus would
 * be, to see what the bus daemon's own work costs a script while one caller floods and never reads.
 * It owns com.zelvantorium.StandIn and answers, on any object:
 *   - Big: an array of BYTES bytes, once per caller; every later Big of that caller is dropped
 *     unanswered, as if the service knew it never reads (no service can do less for it);
 *   - Ping: an empty answer, at once.
 * Prints "READY" once it owns the name.
 *
 *   bus_stand_in BYTES   (the bus from DBUS_SESSION_BUS_ADDRESS)
 */
#include <dbus/dbus.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

enum { mostCallers = 4096 };

static char* answered[mostCallers];
static int answeredCount;

static int answeredBefore(const char* caller)
{
    for (int i = 0; i < answeredCount; ++i) {
        if (strcmp(answered[i], caller) == 0) {
            return 1;
        }
    }
    if (answeredCount < mostCallers) {
        answered[answeredCount++] = strdup(caller);
    }
    return 0;
}

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: bus_stand_in BYTES\n");
        return 2;
    }
    const int bytes = atoi(argv[1]);
    char* payload = calloc((size_t)bytes + 1, 1);
    DBusError error;
    dbus_error_init(&error);
    DBusConnection* connection = dbus_bus_get(DBUS_BUS_SESSION, &error);
    if (!connection) {
        fprintf(stderr, "no bus: %s\n", error.message);
        return 1;
    }
    if (dbus_bus_request_name(connection, "com.zelvantorium.StandIn", DBUS_NAME_FLAG_DO_NOT_QUEUE, &error)
        != DBUS_REQUEST_NAME_REPLY_PRIMARY_OWNER) {
        fprintf(stderr, "the name is taken\n");
        return 1;
    }
    printf("READY\n");
    fflush(stdout);
    while (dbus_connection_read_write(connection, -1)) {
        DBusMessage* message;
        while ((message = dbus_connection_pop_message(connection))) {
            if (dbus_message_get_type(message) == DBUS_MESSAGE_TYPE_METHOD_CALL) {
                const char* member = dbus_message_get_member(message);
                const char* caller = dbus_message_get_sender(message);
                DBusMessage* reply = NULL;
                if (member && strcmp(member, "Ping") == 0) {
                    reply = dbus_message_new_method_return(message);
                } else if (member && strcmp(member, "Big") == 0 && caller && !answeredBefore(caller)) {
                    reply = dbus_message_new_method_return(message);
                    dbus_message_append_args(
                        reply, DBUS_TYPE_ARRAY, DBUS_TYPE_BYTE, &payload, bytes, DBUS_TYPE_INVALID);
                }
                if (reply) {
                    dbus_connection_send(connection, reply, NULL);
                    dbus_message_unref(reply);
                }
            }
            dbus_message_unref(message);
        }
    }
    return 0;
}
