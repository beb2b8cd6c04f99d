#pragma once

// Result codes of the meter links. Every link operation returns one of these
// as a plain int; 0 is success, and the first non-zero code ends an
// acquisition. The numbers are what the warning texts are keyed on, so they
// must never be renumbered.
enum ComError {
    ComOk = 0,
    ComOpenFailed = 1,     // the serial port cannot be opened
    ComPortNotOpen = 2,    // kept for its number; no link reports it
    ComSendFailed = 3,     // the port or socket took fewer bytes than the request
    ComTimeout = 4,        // no reply within the time-out
    ComLengthError = 5,    // reply of the wrong length
    ComReceiveError = 6,   // wrong reply header
    ComCrcError = 7,       // CRC mismatch (serial only)
    ComConnectFailed = 8,  // no TCP connection to the meter
    ComNotConnected = 9,   // the TCP connection is gone when a poll starts
};
