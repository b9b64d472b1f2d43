/*
 * corvhid.h - the map of the Corvil device-access library.
 *
 * The library finds Corvil switchers among the PC's HID devices, numbers
 * them 0, 1, 2, ... in discovery order, and reads and writes their settings,
 * auto-sequencing parameters and serial numbers.
 *
 * Conventions shared by every export:
 *  - Results are 16-bit: -1 (all bits set) for success, 0 for failure.
 *  - A unit number is a signed 16-bit value given out by discovery; it stays
 *    valid until CleanupCorvil.
 *  - Arguments come channel 1 first; out-parameters are written only on
 *    success (a null out-parameter is simply not written).
 *  - Record bytes are unsigned: inputs 0 (none) or 1..8, and 255 on writing
 *    to leave a channel's input unchanged; in a mask, bit n-1 stands for
 *    input n; in an auto-sequencing control byte, bit 7 is "on" and bits
 *    0..6 hold the interval code (k = k x 0.5 s, 0 = disabled).
 *  - All state is process-wide and unguarded: call from one thread at a time.
 *  - On Windows the exports are __stdcall with undecorated names.
 *
 * Compiles as C and as C++.
 */
#ifndef CORVHID_H
#define CORVHID_H

#if defined(_WIN32)
#  define CORVHID_CALL __stdcall
#  if defined(CORVHID_BUILDING)
#    define CORVHID_API __declspec(dllexport)
#  else
#    define CORVHID_API __declspec(dllimport)
#  endif
#else
#  define CORVHID_CALL
#  if defined(CORVHID_BUILDING)
#    define CORVHID_API __attribute__((visibility("default")))
#  else
#    define CORVHID_API
#  endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Result type of every export: CORVHID_SUCCESS (-1, all bits set) or
 * CORVHID_FAILURE (0). */
typedef short corvhid_result;
#define CORVHID_SUCCESS ((corvhid_result)-1)
#define CORVHID_FAILURE ((corvhid_result)0)

/* What makes a HID interface a Corvil: the vendor and product ids and the
 * lowest device version recognised (1.00). */
#define CORVHID_VENDOR_ID 0x1049
#define CORVHID_PRODUCT_ID 0x0001
#define CORVHID_MINIMUM_VERSION 0x0100

/* Loads the platform's HID and device-setup services, then registers the
 * first Corvil unit found and writes its number to *unit. Without
 * CleanupCorvil in between, a new discovery appends after the units already
 * registered. 0: no unit, or the services could not be reached (see
 * GetCorvilErrStringA for which). */
CORVHID_API corvhid_result CORVHID_CALL FindFirstCorvil(short *unit);

/* Registers the next unit of the running discovery and writes its number to
 * *unit. 0 with "Corvil not detected!" when there is none. */
CORVHID_API corvhid_result CORVHID_CALL FindNextCorvil(short *unit);

/* Ends a discovery: releases the device list and the device-setup services.
 * Registered units stay usable. Always -1. */
CORVHID_API corvhid_result CORVHID_CALL DoneFindingCorvils(void);

/* Closes every unit, forgets every unit number, releases the HID services
 * and empties the last-error text. Always -1. */
CORVHID_API corvhid_result CORVHID_CALL CleanupCorvil(void);

/* Copies the last-error text (at most 44 characters and its terminating
 * zero) into text, which must hold 45 bytes. Always -1. */
CORVHID_API corvhid_result CORVHID_CALL GetCorvilErrStringA(char *text);

/* Reads the unit's next settings report (up to 10 attempts of at most
 * 50 ms): the input routed to each output channel and both pad masks. */
CORVHID_API corvhid_result CORVHID_CALL ReadCorvilSettings(
    short unit, unsigned char *input1, unsigned char *input2,
    unsigned char *padMask1, unsigned char *padMask2);

/* Reads whichever record the unit sends next (up to 3 attempts): a settings
 * report fills the first four out-parameters, an auto-sequencing report the
 * last four; the other four are left as they were. */
CORVHID_API corvhid_result CORVHID_CALL ReadCorvilAllSettings(
    short unit, unsigned char *input1, unsigned char *input2,
    unsigned char *padMask1, unsigned char *padMask2,
    unsigned char *autoSeqInputs1, unsigned char *autoSeqInputs2,
    unsigned char *autoSeqControl1, unsigned char *autoSeqControl2);

/* Sends one settings output report (no retry; at most 50 ms). An input of
 * 255 leaves that channel's routing unchanged. */
CORVHID_API corvhid_result CORVHID_CALL WriteCorvilSettings(
    short unit, unsigned char input1, unsigned char input2,
    unsigned char padMask1, unsigned char padMask2);

/* Reads the unit's next auto-sequencing report (up to 10 attempts). */
CORVHID_API corvhid_result CORVHID_CALL ReadCorvilAutoSequencingParameters(
    short unit, unsigned char *autoSeqInputs1, unsigned char *autoSeqInputs2,
    unsigned char *autoSeqControl1, unsigned char *autoSeqControl2);

/* Sends one auto-sequencing output report (no retry; at most 50 ms). */
CORVHID_API corvhid_result CORVHID_CALL WriteCorvilAutoSequencingParameters(
    short unit, unsigned char autoSeqInputs1, unsigned char autoSeqInputs2,
    unsigned char autoSeqControl1, unsigned char autoSeqControl2);

/* Reads the five-character serial number into serial (6 bytes: five
 * characters and a terminating zero). Leaves the last-error text alone. */
CORVHID_API corvhid_result CORVHID_CALL ReadCorvilSerialNumberA(short unit, char *serial);

/* Writes the first five bytes of serial, as they are, as the unit's serial
 * number. Leaves the last-error text alone. */
CORVHID_API corvhid_result CORVHID_CALL WriteCorvilSerialNumberA(short unit, const char *serial);

#ifdef __cplusplus
}
#endif

#endif /* CORVHID_H */
