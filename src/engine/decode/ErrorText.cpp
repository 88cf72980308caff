// The messages of library error codes. The tables are our own so that a message reads
// the same whatever C library or media library build the program runs on.
#include <cstdio>
#include <iterator>

#include "FFUtils.h"

namespace vx {
namespace {

struct TCodeText {
    int Code;
    const char* Text;
};

const TCodeText LibraryErrors[] = {
    {AVERROR_MUXER_NOT_FOUND, "Muxer not found"},
    {AVERROR_OPTION_NOT_FOUND, "Option not found"},
    {AVERROR_EXIT, "Immediate exit requested"},
    {AVERROR_STREAM_NOT_FOUND, "Stream not found"},
    {AVERROR_PROTOCOL_NOT_FOUND, "Protocol not found"},
    {AVERROR_DEMUXER_NOT_FOUND, "Demuxer not found"},
    {AVERROR_FILTER_NOT_FOUND, "Filter not found"},
    {AVERROR_BSF_NOT_FOUND, "Bitstream filter not found"},
    {AVERROR_PATCHWELCOME, "Not yet implemented in FFmpeg, patches welcome"},
    {AVERROR_ENCODER_NOT_FOUND, "Encoder not found"},
    {AVERROR_DECODER_NOT_FOUND, "Decoder not found"},
    {AVERROR_INVALIDDATA, "Invalid data found when processing input"},
    {AVERROR_EOF, "End of file"},
};

// The Linux errno numbering 1..131. 41 and 58 are unused numbers on Linux; 42 is left
// out too and reads like any unknown code. Five entries give both the POSIX and the
// Linux wording.
const char* const SystemErrors[132] = {
    nullptr,
    "Operation not permitted",                                     // 1
    "No such file or directory",                                   // 2
    "No such process",                                             // 3
    "Interrupted system call",                                     // 4
    "I/O error",                                                   // 5
    "No such device or address",                                   // 6
    "Argument list too long",                                      // 7
    "Exec format error",                                           // 8
    "Bad file number",                                             // 9
    "No child processes",                                          // 10
    "Resource temporarily unavailable / Try again",                // 11
    "Not enough space / Out of memory",                            // 12
    "Permission denied",                                           // 13
    "Bad address",                                                 // 14
    "Block device required",                                       // 15
    "Device or resource busy",                                     // 16
    "File exists",                                                 // 17
    "Cross-device link",                                           // 18
    "No such device",                                              // 19
    "Not a directory",                                             // 20
    "Is a directory",                                              // 21
    "Invalid argument / Invalid data found when processing input", // 22
    "Too many open files in system / File table overflow",         // 23
    "Too many open files",                                         // 24
    "Inappropriate I/O control operation / Not a typewriter",      // 25
    "Text file busy",                                              // 26
    "File too large",                                              // 27
    "No space left on device",                                     // 28
    "Illegal seek",                                                // 29
    "Read-only file system",                                       // 30
    "Too many links",                                              // 31
    "Broken pipe",                                                 // 32
    "Math argument out of domain of func",                         // 33
    "Math result not representable",                               // 34
    "Resource deadlock would occur",                               // 35
    "File name too long",                                          // 36
    "No record locks available",                                   // 37
    "Function not implemented",                                    // 38
    "Directory not empty",                                         // 39
    "Too many symbolic links encountered",                         // 40
    nullptr,                                                       // 41
    nullptr,                                                       // 42
    "Identifier removed",                                          // 43
    "Channel number out of range",                                 // 44
    "Level 2 not synchronized",                                    // 45
    "Level 3 halted",                                              // 46
    "Level 3 reset",                                               // 47
    "Link number out of range",                                    // 48
    "Protocol driver not attached",                                // 49
    "No CSI structure available",                                  // 50
    "Level 2 halted",                                              // 51
    "Invalid exchange",                                            // 52
    "Invalid request descriptor",                                  // 53
    "Exchange full",                                               // 54
    "No anode",                                                    // 55
    "Invalid request code",                                        // 56
    "Invalid slot",                                                // 57
    nullptr,                                                       // 58
    "Bad font file format",                                        // 59
    "Device not a stream",                                         // 60
    "No data available",                                           // 61
    "Timer expired",                                               // 62
    "Out of streams resources",                                    // 63
    "Machine is not on the network",                               // 64
    "Package not installed",                                       // 65
    "Object is remote",                                            // 66
    "Link has been severed",                                       // 67
    "Advertise error",                                             // 68
    "Srmount error",                                               // 69
    "Communication error on send",                                 // 70
    "Protocol error",                                              // 71
    "Multihop attempted",                                          // 72
    "RFS specific error",                                          // 73
    "Not a data message",                                          // 74
    "Value too large for defined data type",                       // 75
    "Name not unique on network",                                  // 76
    "File descriptor in bad state",                                // 77
    "Remote address changed",                                      // 78
    "Can not access a needed shared library",                      // 79
    "Accessing a corrupted shared library",                        // 80
    ".lib section in a.out corrupted",                             // 81
    "Attempting to link in too many shared libraries",             // 82
    "Cannot exec a shared library directly",                       // 83
    "Illegal byte sequence",                                       // 84
    "Interrupted system call should be restarted",                 // 85
    "Streams pipe error",                                          // 86
    "Too many users",                                              // 87
    "Socket operation on non-socket",                              // 88
    "Destination address required",                                // 89
    "Message too long",                                            // 90
    "Protocol wrong type for socket",                              // 91
    "Protocol not available",                                      // 92
    "Protocol not supported",                                      // 93
    "Socket type not supported",                                   // 94
    "Operation not supported on transport endpoint",               // 95
    "Protocol family not supported",                               // 96
    "Address family not supported by protocol",                    // 97
    "Address already in use",                                      // 98
    "Cannot assign requested address",                             // 99
    "Network is down",                                             // 100
    "Network is unreachable",                                      // 101
    "Network dropped connection because of reset",                 // 102
    "Software caused connection abort",                            // 103
    "Connection reset by peer",                                    // 104
    "No buffer space available",                                   // 105
    "Transport endpoint is already connected",                     // 106
    "Transport endpoint is not connected",                         // 107
    "Cannot send after transport endpoint shutdown",               // 108
    "Too many references: cannot splice",                          // 109
    "Connection timed out",                                        // 110
    "Connection refused",                                          // 111
    "Host is down",                                                // 112
    "No route to host",                                            // 113
    "Operation already in progress",                               // 114
    "Operation now in progress",                                   // 115
    "Stale NFS file handle",                                       // 116
    "Structure needs cleaning",                                    // 117
    "Not a XENIX named type file",                                 // 118
    "No XENIX semaphores available",                               // 119
    "Is a named type file",                                        // 120
    "Remote I/O error",                                            // 121
    "Quota exceeded",                                              // 122
    "No medium found",                                             // 123
    "Wrong medium type",                                           // 124
    "Operation Canceled",                                          // 125
    "Required key not available",                                  // 126
    "Key has expired",                                             // 127
    "Key has been revoked",                                        // 128
    "Key was rejected by service",                                 // 129
    "Owner died",                                                  // 130
    "State not recoverable",                                       // 131
};

// Windows socket errors (10000 + n). Those with a counterpart among the system errors
// share its text; the others have only their own name.
struct TSocketError {
    int Code;
    int SystemError; // 0: none
    const char* Name;
};

const TSocketError SocketErrors[] = {
    {10004, 4, nullptr},
    {10009, 9, nullptr},
    {10013, 13, nullptr},
    {10014, 14, nullptr},
    {10022, 22, nullptr},
    {10024, 24, nullptr},
    {10035, 0, "WSAEWOULDBLOCK"},
    {10036, 115, nullptr},
    {10037, 114, nullptr},
    {10038, 88, nullptr},
    {10039, 89, nullptr},
    {10040, 90, nullptr},
    {10041, 91, nullptr},
    {10042, 92, nullptr},
    {10043, 93, nullptr},
    {10044, 94, nullptr},
    {10045, 95, nullptr},
    {10046, 96, nullptr},
    {10047, 97, nullptr},
    {10048, 98, nullptr},
    {10049, 99, nullptr},
    {10050, 100, nullptr},
    {10051, 101, nullptr},
    {10052, 102, nullptr},
    {10053, 103, nullptr},
    {10054, 104, nullptr},
    {10055, 105, nullptr},
    {10056, 106, nullptr},
    {10057, 107, nullptr},
    {10058, 108, nullptr},
    {10059, 109, nullptr},
    {10060, 110, nullptr},
    {10061, 111, nullptr},
    {10062, 40, nullptr},
    {10063, 36, nullptr},
    {10064, 112, nullptr},
    {10065, 113, nullptr},
    {10066, 39, nullptr},
    {10067, 0, "WSAEPROCLIM"},
    {10068, 87, nullptr},
    {10069, 122, nullptr},
    {10070, 116, nullptr},
    {10071, 66, nullptr},
    {10091, 0, "WSASYSNOTREADY"},
    {10092, 0, "WSAVERNOTSUPPORTED"},
    {10093, 0, "WSANOTINITIALISED"},
    {10101, 0, "WSAEDISCON"},
    {10102, 0, "WSAENOMORE"},
    {10103, 0, "WSAECANCELLED"},
    {10104, 0, "WSAEINVALIDPROCTABLE"},
    {10105, 0, "WSAEINVALIDPROVIDER"},
    {10106, 0, "WSAEPROVIDERFAILEDINIT"},
    {10107, 0, "WSASYSCALLFAILURE"},
    {10108, 0, "WSASERVICE_NOT_FOUND"},
    {10109, 0, "WSATYPE_NOT_FOUND"},
    {10110, 0, "WSA_E_NO_MORE"},
    {10111, 0, "WSA_E_CANCELLED"},
    {10112, 0, "WSAEREFUSED"},
    {11001, 0, "WSAHOST_NOT_FOUND"},
    {11002, 0, "WSATRY_AGAIN"},
    {11003, 0, "WSANO_RECOVERY"},
    {11004, 0, "WSANO_DATA"},
};

// The library tags its own codes with four characters, far beyond any errno number.
constexpr int SmallestTaggedCode = 0x10000;

} // namespace

std::string ErrorMessage(int ACode) {
    for (const TCodeText& e : LibraryErrors)
        if (e.Code == ACode)
            return e.Text;
    if (ACode < 0 && ACode > -int(std::size(SystemErrors)) && SystemErrors[-ACode])
        return SystemErrors[-ACode];
    for (const TSocketError& e : SocketErrors)
        if (-e.Code == ACode)
            return e.SystemError ? SystemErrors[e.SystemError] : e.Name;
    // Codes that this library generation added (HTTP statuses, "Bug detected" ...)
    // keep the library's own wording.
    if (ACode <= -SmallestTaggedCode && ff::av_strerror) {
        char text[128] = "";
        if (ff::av_strerror(ACode, text, sizeof text) == 0)
            return text;
    }
    char text[64];
    std::snprintf(text, sizeof text, "Error number %d occurred", ACode);
    return text;
}

std::string ErrorText(const std::string& AName, int ACode) {
    return AName + ": " + ErrorMessage(ACode);
}

} // namespace vx
