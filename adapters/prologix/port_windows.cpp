// Serial and TCP transport to a "++" adapter, the Windows way: a COM port opened with CreateFileA
// for overlapped I/O, and Winsock 2. Every wait is bounded by the call's deadline, as on Linux.
#include <winsock2.h>
#include <ws2tcpip.h>
// After winsock2.h, which must come before windows.h.
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <mutex>
#include <string>

#include "adapters/prologix/port.h"

// The asynchronous lookup's companions: declared by the Windows SDK's ws2tcpip.h (Windows 8 and
// later), left out of older mingw-w64 headers; ws2_32 exports both.
extern "C" {
WINSOCK_API_LINKAGE INT WSAAPI GetAddrInfoExCancel(LPHANDLE lpHandle);
WINSOCK_API_LINKAGE INT WSAAPI GetAddrInfoExOverlappedResult(LPOVERLAPPED lpOverlapped);
}

namespace prologix {
namespace {

constexpr SOCKET kNoSocket = INVALID_SOCKET;

// The longest single wait: a longer deadline is waited for in turns.
constexpr DWORD kLongestWaitMs = 60000;

DWORD wait_ms(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return static_cast<DWORD>(std::clamp<long long>(left.count(), 0, kLongestWaitMs));
}

// The system's words for a Win32 or Winsock error number.
std::string message_of(DWORD code) {
    char* text = nullptr;
    const DWORD n = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = n > 0 && text != nullptr ? std::string(text, n) : std::string();
    if (text != nullptr)
        LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == ' ' || message.back() == '.'))
        message.pop_back();
    const std::string number = "error " + std::to_string(code);
    return message.empty() ? number : message + " (" + number + ")";
}

// The errno value the rest of the driver (and the program, through ibcnt) expects for a Win32
// error of a COM port. A vanished USB adapter fails its I/O with one of several codes
// (ERROR_BAD_COMMAND, ERROR_GEN_FAILURE, ERROR_DEVICE_NOT_CONNECTED, ...): all are EIO, as a
// hung-up tty is on Linux.
int errno_of_win32(DWORD code) {
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return ENOENT;
        case ERROR_ACCESS_DENIED:  // another program holds the port
        case ERROR_SHARING_VIOLATION:
            return EBUSY;
        case ERROR_INVALID_PARAMETER:
            return EINVAL;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            return ENOMEM;
        default:
            return EIO;
    }
}

int errno_of_wsa(int code) {
    switch (code) {
        case WSAECONNREFUSED:
            return ECONNREFUSED;
        case WSAETIMEDOUT:
            return ETIMEDOUT;
        case WSAECONNRESET:
        case WSAECONNABORTED:
        case WSAENETRESET:
        case WSAESHUTDOWN:
        case WSAENOTCONN:
            return ECONNRESET;
        case WSAEHOSTUNREACH:
        case WSAEHOSTDOWN:
            return EHOSTUNREACH;
        case WSAENETUNREACH:
        case WSAENETDOWN:
            return ENETUNREACH;
        case WSAEADDRNOTAVAIL:
            return EADDRNOTAVAIL;
        case WSAEAFNOSUPPORT:
            return EAFNOSUPPORT;
        case WSAENOBUFS:
            return ENOBUFS;
        default:
            return EIO;
    }
}

// Winsock is started once per process and left running: WSACleanup at the library's unload
// would run inside DllMain, where Winsock must not be called (WSACleanup remarks).
int start_winsock() {
    static std::once_flag once;
    static int result = 0;
    std::call_once(once, [] {
        WSADATA data{};
        result = WSAStartup(MAKEWORD(2, 2), &data);
    });
    return result;
}

// Waits with select(2) semantics until the socket can be read (or written) or the deadline
// passes. `ready` is false at the deadline. select reports a failed non-blocking connect in the
// exception set (Winsock's select, "exceptfds"), which is why it is used rather than WSAPoll:
// WSAPoll does not report failed connects on Windows before 10 version 2004.
int wait_socket(SOCKET s, bool for_write, Clock::time_point deadline, bool& ready) {
    for (;;) {
        fd_set wanted;
        fd_set failed;
        FD_ZERO(&wanted);
        FD_ZERO(&failed);
        FD_SET(s, &wanted);
        FD_SET(s, &failed);
        const DWORD ms = wait_ms(deadline);
        timeval limit{static_cast<long>(ms / 1000), static_cast<long>((ms % 1000) * 1000)};
        const int r = select(0, for_write ? nullptr : &wanted, for_write ? &wanted : nullptr,
                             &failed, &limit);
        if (r == SOCKET_ERROR)
            return errno_of_wsa(WSAGetLastError());
        if (r == 0 && Clock::now() < deadline)
            continue;  // the wait was cut to kLongestWaitMs
        ready = r > 0;
        return 0;
    }
}

// "COM3" or "\\.\COM10" (any case), with a port number of one to three digits.
bool is_com_name(const std::string& name) {
    std::string rest = name;
    if (rest.rfind("\\\\.\\", 0) == 0)
        rest.erase(0, 4);
    if (rest.size() < 4 || rest.size() > 6)
        return false;
    for (int i = 0; i < 3; ++i) {
        if (std::toupper(static_cast<unsigned char>(rest[i])) != "COM"[i])
            return false;
    }
    return rest.find_first_not_of("0123456789", 3) == std::string::npos && rest[3] != '0';
}

// Lets an overlapped operation on the COM port run until the deadline, then cancels it; `done`
// gets the bytes it moved either way. Returns 0, or the Win32 error of the operation.
DWORD finish_overlapped(HANDLE com, OVERLAPPED& operation, Clock::time_point deadline,
                        DWORD& done) {
    while (WaitForSingleObject(operation.hEvent, wait_ms(deadline)) == WAIT_TIMEOUT) {
        if (Clock::now() >= deadline) {
            // CancelIoEx ends the operation; GetOverlappedResult waiting for it then tells what
            // it had moved before (ERROR_OPERATION_ABORTED when cancelled, or its own result
            // when it finished first).
            CancelIoEx(com, &operation);
            break;
        }
    }
    if (GetOverlappedResult(com, &operation, &done, TRUE))
        return 0;
    const DWORD code = GetLastError();
    return code == ERROR_OPERATION_ABORTED ? 0 : code;
}

// Connects to the first address of a lookup's list that takes the connection, by the deadline
// (and within kConnectTimeoutMs). Returns 0 with `socket_out` set, or an errno value with `why`.
template <typename Info>
int connect_first(const Info* list, Clock::time_point deadline, SOCKET& socket_out,
                  std::string& why) {
    int error = ECONNREFUSED;
    why = message_of(WSAECONNREFUSED);
    const Clock::time_point connect_by =
        Clock::now() + std::chrono::milliseconds(kConnectTimeoutMs);
    // (mingw-w64 declares ADDRINFOEXW's ai_next with a misspelt tag: the cast names the type.)
    for (const Info* a = list; a != nullptr && socket_out == kNoSocket;
         a = reinterpret_cast<const Info*>(a->ai_next)) {
        // Not inherited by child processes, as SOCK_CLOEXEC on Linux.
        const SOCKET s = WSASocketW(a->ai_family, a->ai_socktype, a->ai_protocol, nullptr, 0,
                                    WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
        if (s == INVALID_SOCKET) {
            error = errno_of_wsa(WSAGetLastError());
            continue;
        }
        u_long non_blocking = 1;
        ioctlsocket(s, FIONBIO, &non_blocking);
        int code = 0;
        if (connect(s, a->ai_addr, static_cast<int>(a->ai_addrlen)) == SOCKET_ERROR)
            code = WSAGetLastError();
        int e = code == 0 ? 0 : errno_of_wsa(code);
        if (code == WSAEWOULDBLOCK) {
            bool ready = false;
            e = wait_socket(s, true, std::min(deadline, connect_by), ready);
            if (e == 0 && !ready) {
                e = ETIMEDOUT;
                code = WSAETIMEDOUT;
            } else if (e == 0) {
                int len = sizeof code;
                getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&code), &len);
                e = code == 0 ? 0 : errno_of_wsa(code);
            }
        }
        if (e != 0) {
            error = e;
            why = message_of(static_cast<DWORD>(code));
            closesocket(s);
            continue;
        }
        const BOOL one = TRUE;
        setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
        socket_out = s;
    }
    return socket_out != kNoSocket ? 0 : error;
}

// Name lookup by the deadline: GetAddrInfoExW runs it asynchronously with an event (Windows 8
// and later); at the deadline it is cancelled (GetAddrInfoExCancel) and its end awaited, so
// that nothing of it writes into this call's memory afterwards. A lookup that will not end even
// then keeps its few bytes, never freed. Returns 0 or a Winsock error (WSAETIMEDOUT at the
// deadline).
DWORD look_up(const std::string& host, const std::string& service, Clock::time_point deadline,
              ADDRINFOEXW** list) {
    struct Lookup {
        std::wstring host, service;
        ADDRINFOEXW hints{};
        OVERLAPPED overlapped{};
        ADDRINFOEXW* result = nullptr;
        HANDLE cancel = nullptr;
    };
    const auto wide = [](const std::string& text) {
        std::wstring out(text.size() + 1, L'\0');
        const int n = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, out.data(),
                                          static_cast<int>(out.size()));
        out.resize(n > 0 ? static_cast<std::size_t>(n - 1) : 0);
        return out;
    };
    auto* q = new Lookup{wide(host), wide(service), {}, {}, nullptr, nullptr};
    q->hints.ai_family = AF_UNSPEC;
    q->hints.ai_socktype = SOCK_STREAM;
    q->overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (q->overlapped.hEvent == nullptr) {
        const DWORD code = GetLastError();
        delete q;
        return code;
    }
    INT r = GetAddrInfoExW(q->host.c_str(), q->service.c_str(), NS_ALL, nullptr, &q->hints,
                           &q->result, nullptr, &q->overlapped, nullptr, &q->cancel);
    bool timed_out = false;
    if (r == WSA_IO_PENDING) {
        while (WaitForSingleObject(q->overlapped.hEvent, wait_ms(deadline)) == WAIT_TIMEOUT) {
            if (Clock::now() < deadline)
                continue;
            timed_out = true;
            GetAddrInfoExCancel(&q->cancel);
            if (WaitForSingleObject(q->overlapped.hEvent, 5000) != WAIT_OBJECT_0)
                return WSAETIMEDOUT;  // still running: it keeps its memory
            break;
        }
        r = GetAddrInfoExOverlappedResult(&q->overlapped);
    }
    CloseHandle(q->overlapped.hEvent);
    if (r == 0 && !timed_out) {
        *list = q->result;
    } else if (q->result != nullptr) {
        FreeAddrInfoExW(q->result);
    }
    delete q;
    return timed_out ? WSAETIMEDOUT : static_cast<DWORD>(r);
}

}  // namespace

bool names_serial_port(const std::string& where) {
    return is_com_name(where);
}

bool Port::is_open() const {
    return com_ != nullptr || socket_ != kNoSocket;
}

int Port::open_serial(const std::string& path, long baud, std::string& why) {
    if (baud <= 0 || baud > 4000000) {
        why = "unsupported baud rate " + std::to_string(baud);
        return EINVAL;
    }
    // COM1..COM9 may be opened by their plain names, COM10 and above only as "\\.\COM10"; the
    // device namespace works for all, so it is always used (CreateFile, "Communications
    // Resources"). A COM port is opened exclusively: dwShareMode must be 0, and a second
    // opening fails with ERROR_ACCESS_DENIED.
    const std::string device = path.rfind("\\\\.\\", 0) == 0 ? path : "\\\\.\\" + path;
    HANDLE com = CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                             OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (com == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        why = (code == ERROR_ACCESS_DENIED ? "the port is in use by another program: " : "") +
              message_of(code);
        return errno_of_win32(code);
    }
    const auto fail = [&](const char* what) {
        const DWORD code = GetLastError();
        why = what + message_of(code);
        CloseHandle(com);
        return errno_of_win32(code);
    };
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(com, &dcb))
        return fail("not a serial port: ");
    // 8N1, binary, no flow control of either kind, no character replacement, and I/O that an
    // error does not stop (fAbortOnError would hold every read and write until
    // ClearCommError). DTR and RTS are raised, as Linux raises them at open(2) and, without
    // HUPCL, leaves them: dropping DTR would reset an Arduino-based adapter.
    dcb.BaudRate = static_cast<DWORD>(baud);
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fTXContinueOnXoff = TRUE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    if (!SetCommState(com, &dcb))
        return fail("cannot set 8N1 raw mode: ");
    // COMMTIMEOUTS: with ReadIntervalTimeout and ReadTotalTimeoutMultiplier both MAXDWORD and
    // 0 < ReadTotalTimeoutConstant < MAXDWORD, a read returns at once with the bytes already
    // there, else with the first bytes that arrive, else with none after the constant. The
    // call's own deadline is kept by waiting on the overlapped read and cancelling it, so the
    // constant is only the longest wait of one turn. Writes have no total time-out (both
    // write fields 0): they too are bounded by the deadline and cancelled.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = MAXDWORD;
    timeouts.ReadTotalTimeoutConstant = kLongestWaitMs;
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = 0;
    if (!SetCommTimeouts(com, &timeouts))
        return fail("cannot set the port's time-outs: ");
    PurgeComm(com, PURGE_RXABORT | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_TXCLEAR);
    // Manual-reset events, as the overlapped operations need (ReadFile, "lpOverlapped").
    read_event_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    write_event_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (read_event_ == nullptr || write_event_ == nullptr) {
        const int e = fail("cannot create an event: ");
        com_ = nullptr;
        close();
        return e;
    }
    com_ = com;
    tcp_ = false;
    return 0;
}

int Port::open_tcp(const std::string& host, const std::string& service, Clock::time_point deadline,
                   std::string& why) {
    if (const int r = start_winsock(); r != 0) {
        why = "Winsock does not start: " + message_of(static_cast<DWORD>(r));
        return EIO;
    }
    // A numeric address needs no lookup; a name is looked up within the deadline.
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST;
    addrinfo* numeric = nullptr;
    SOCKET s = kNoSocket;
    int error = 0;
    if (getaddrinfo(host.c_str(), service.c_str(), &hints, &numeric) == 0) {
        error = connect_first(numeric, deadline, s, why);
        freeaddrinfo(numeric);
    } else {
        ADDRINFOEXW* named = nullptr;
        if (const DWORD code = look_up(host, service, deadline, &named); code != 0) {
            why =
                code == WSAETIMEDOUT ? "no answer from the name lookup in time" : message_of(code);
            return EHOSTUNREACH;
        }
        error = connect_first(named, deadline, s, why);
        FreeAddrInfoExW(named);
    }
    if (error != 0)
        return error;
    socket_ = s;
    tcp_ = true;
    return 0;
}

void Port::close() {
    if (com_ != nullptr)
        CloseHandle(com_);
    if (read_event_ != nullptr)
        CloseHandle(read_event_);
    if (write_event_ != nullptr)
        CloseHandle(write_event_);
    if (socket_ != kNoSocket)
        closesocket(static_cast<SOCKET>(socket_));
    com_ = read_event_ = write_event_ = nullptr;
    socket_ = kNoSocket;
}

int Port::write_all(const char* data, std::size_t size, Clock::time_point deadline,
                    std::size_t& sent) {
    sent = 0;
    if (!is_open())
        return EBADF;
    while (sent < size) {
        const std::size_t chunk = std::min<std::size_t>(size - sent, 1 << 20);
        if (tcp_) {
            const int n =
                send(static_cast<SOCKET>(socket_), data + sent, static_cast<int>(chunk), 0);
            if (n > 0) {
                sent += static_cast<std::size_t>(n);
                continue;
            }
            const int code = WSAGetLastError();
            if (n == SOCKET_ERROR && code != WSAEWOULDBLOCK)
                return errno_of_wsa(code);
            if (Clock::now() >= deadline)
                return ETIMEDOUT;
            bool ready = false;
            if (const int e = wait_socket(static_cast<SOCKET>(socket_), true, deadline, ready);
                e != 0)
                return e;
            continue;
        }
        OVERLAPPED operation{};
        operation.hEvent = write_event_;
        ResetEvent(write_event_);
        DWORD done = 0;
        if (!WriteFile(com_, data + sent, static_cast<DWORD>(chunk), &done, &operation)) {
            DWORD code = GetLastError();
            if (code == ERROR_IO_PENDING)
                code = finish_overlapped(com_, operation, deadline, done);
            if (code != 0)
                return errno_of_win32(code);
        }
        sent += done;
        if (sent < size && Clock::now() >= deadline)
            return ETIMEDOUT;
    }
    return 0;
}

long Port::read_some(char* buffer, std::size_t max, Clock::time_point deadline) {
    if (!is_open())
        return -EBADF;
    const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(max, 1 << 20));
    if (tcp_) {
        bool ready = false;
        if (const int e = wait_socket(static_cast<SOCKET>(socket_), false, deadline, ready); e != 0)
            return -e;
        if (!ready)
            return 0;
        const int n = recv(static_cast<SOCKET>(socket_), buffer, static_cast<int>(wanted), 0);
        if (n > 0)
            return n;
        if (n == 0)
            return -ECONNRESET;  // the adapter closed the connection
        const int code = WSAGetLastError();
        return code == WSAEWOULDBLOCK ? 0 : -errno_of_wsa(code);
    }
    for (;;) {
        OVERLAPPED operation{};
        operation.hEvent = read_event_;
        ResetEvent(read_event_);
        DWORD done = 0;
        if (!ReadFile(com_, buffer, wanted, &done, &operation)) {
            DWORD code = GetLastError();
            if (code == ERROR_IO_PENDING)
                code = finish_overlapped(com_, operation, deadline, done);
            if (code != 0)
                return -errno_of_win32(code);
        }
        if (done > 0 || Clock::now() >= deadline)
            return static_cast<long>(done);
        // The read's own time-out (one turn of kLongestWaitMs) passed before the deadline.
    }
}

}  // namespace prologix
