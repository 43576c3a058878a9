"""Runs one blocking library call so that Ctrl-C stops it cleanly.

Python runs signal handlers only on the main thread and only between
bytecodes, never while that thread is blocked inside a ctypes call. So when
an operation is started from the main thread, the library call runs on a
worker thread, while the main thread waits for it with a SIGINT handler in
place that asks the library to stop every running operation of the process
(those of Programmers on other threads too) at its next page boundary. Each
call then ends with code 18 (or with success, when it was about to finish
anyway) and leaves its adapter ready; only after that does the main thread
raise KeyboardInterrupt, and the other threads see Cancelled.

Operations started on other threads run directly on them: they stop on
Ctrl-C while the main thread runs an operation, or through
Programmer.stop().
"""

from __future__ import annotations

import signal
import threading
from typing import Any, Callable, List, Optional, Tuple

from .library import inside_call, lib


def _stop_all() -> None:
    lib().Zyl_RequestStop()


def _run_here(call: Callable[[], int]) -> int:
    with inside_call():
        return call()


# Operations running off the main thread, which cannot install a handler of
# its own: the watch below stops them at Ctrl-C.
_off_main = 0
_off_main_lock = threading.Lock()


def _stop_then_interrupt(signum: int, frame: Any) -> None:
    """Python's own Ctrl-C, after asking the running operations to stop."""
    if _off_main:
        _stop_all()
    signal.default_int_handler(signum, frame)


def watch_ctrl_c() -> None:
    """Called on the main thread when a Programmer is made: from then on
    Ctrl-C also stops the operations that other threads run while the main
    thread does something else (waits for them in join(), say), and then
    raises KeyboardInterrupt as ever. A handler of the script's own stays."""
    if threading.current_thread() is threading.main_thread() and \
            signal.getsignal(signal.SIGINT) is signal.default_int_handler:
        signal.signal(signal.SIGINT, _stop_then_interrupt)


def _run_off_main(call: Callable[[], int]) -> int:
    global _off_main
    with _off_main_lock:
        _off_main += 1
    try:
        return _run_here(call)
    finally:
        with _off_main_lock:
            _off_main -= 1


def run_stoppable(call: Callable[[], int], stop: Callable[[], None]) -> Tuple[int, bool]:
    """Runs call (a library call returning a result code) to its end; stop
    asks that call alone to stop.

    Returns its result and whether Ctrl-C (or a KeyboardInterrupt another
    signal handler raised) asked it to stop. Any other exception a signal
    handler raises stops this call and is raised when it has ended. Off the
    main thread the call runs directly on the calling thread, with signals
    left alone.
    """
    if threading.current_thread() is not threading.main_thread():
        return _run_off_main(call), False

    outcome: List[Any] = []

    def work() -> None:
        # Signals for the process go to the main thread, which waits for them.
        signal.pthread_sigmask(signal.SIG_BLOCK, {signal.SIGINT})
        try:
            outcome.append(_run_here(call))
        except BaseException as e:  # handed to the waiting thread
            outcome.append(e)

    interrupted = False
    handler_error: Optional[BaseException] = None

    def on_sigint(signum: int, frame: Any) -> None:
        nonlocal interrupted
        interrupted = True
        _stop_all()

    # A handler of the script's own (or SIG_IGN) stays in place; only the
    # default one, which would raise KeyboardInterrupt mid-call, is replaced.
    previous = signal.getsignal(signal.SIGINT)
    replace = previous in (signal.default_int_handler, _stop_then_interrupt)
    if replace:
        signal.signal(signal.SIGINT, on_sigint)
    try:
        worker = threading.Thread(target=work, name="zylisp-operation", daemon=True)
        worker.start()
        while worker.is_alive():
            try:
                worker.join()
            except BaseException as e:
                # Raised by another handler: the call still has to end first.
                # A KeyboardInterrupt is a Ctrl-C, which stops them all.
                if isinstance(e, KeyboardInterrupt):
                    _stop_all()
                else:
                    stop()
                handler_error = handler_error or e
    finally:
        if replace:
            signal.signal(signal.SIGINT, previous)
    if handler_error is not None:
        if isinstance(handler_error, KeyboardInterrupt):
            interrupted = True
        else:
            raise handler_error
    result = outcome[0]
    if isinstance(result, BaseException):
        raise result
    return result, interrupted
