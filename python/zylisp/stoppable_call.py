"""Runs one blocking library call so that Ctrl-C stops it cleanly.

Python runs signal handlers only on the main thread and only between
bytecodes, never while that thread is blocked inside a ctypes call. So when
an operation is started from the main thread, the library call runs on a
worker thread (the only thread that calls the library meanwhile), while the
main thread waits for it with a SIGINT handler in place that asks the
library to stop at its next page boundary. The call then ends with code 18
(or with success, when it was about to finish anyway) and leaves the
adapter ready; only after that does the caller raise KeyboardInterrupt.
"""

from __future__ import annotations

import signal
import threading
from typing import Any, Callable, List, Optional, Tuple

from .library import caller, lib


def _request_stop() -> None:
    lib().Zyl_RequestStop()


def _run_here(call: Callable[[], int]) -> int:
    with caller.inside_call():
        return call()


def run_stoppable(call: Callable[[], int]) -> Tuple[int, bool]:
    """Runs call (a library call returning a result code) to its end.

    Returns its result and whether Ctrl-C (or any exception a signal
    handler raised) asked it to stop. Off the main thread the call runs
    directly on the calling thread, with signals left alone.
    """
    if threading.current_thread() is not threading.main_thread():
        return _run_here(call), False

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
        _request_stop()

    # A handler of the script's own (or SIG_IGN) stays in place; only the
    # default one, which would raise KeyboardInterrupt mid-call, is replaced.
    previous = signal.getsignal(signal.SIGINT)
    replace = previous is signal.default_int_handler
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
                _request_stop()
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
