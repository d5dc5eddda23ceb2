"""pytest fixtures of the end-to-end tests: one X display per test session, one fresh prefix per
test, and a screenshot of the screen whenever a test fails."""
import os

import pytest

import harness


@pytest.fixture(scope="session", autouse=True)
def display():
    """The X display the Wine windows go to: a private Xvfb for the session. Test files run side
    by side, and an X server is shared state: the foreground window, the keyboard focus, and the
    screen saver that Wine's SPI_GETSCREENSAVEACTIVE reads from the server and a running QS
    switches off. TIDEWELL_E2E_SHARED_DISPLAY=1 keeps the caller's display, to watch a test."""
    caller = os.environ.get("DISPLAY")
    server = harness.ensure_display(private=not os.environ.get("TIDEWELL_E2E_SHARED_DISPLAY"))
    yield os.environ["DISPLAY"]
    if server:
        server.stop()
        if caller:
            os.environ["DISPLAY"] = caller
        else:
            del os.environ["DISPLAY"]


@pytest.hookimpl(hookwrapper=True)
def pytest_runtest_makereport(item, call):
    outcome = yield
    report = outcome.get_result()
    setattr(item, f"report_{report.when}", report)
    # Taken before the fixtures are torn down, while the windows of the failed test are still up.
    if report.failed and report.when in ("setup", "call"):
        path = harness.screenshot(f"{item.name}-failed")
        report.sections.append(("screenshot", str(path) if path else "could not take one"))


def _failed(node):
    return any(getattr(getattr(node, f"report_{when}", None), "failed", False) for when in ("setup", "call"))


@pytest.fixture
def prefix(request):
    """A fresh prefix with the products installed; kept after a failure when TIDEWELL_KEEP_FAILED
    is set."""
    wine = harness.Prefix(request.node.name)
    yield wine
    wine.close(keep=_failed(request.node) and bool(os.environ.get("TIDEWELL_KEEP_FAILED")))
