#!/usr/bin/env python3
"""zelvora_host.py [--library PATH] [--placement ID] [--size WxH] [--show-seconds S] APP_ID [SERVER_URL]

A host in Python over the SDK's C API, with ctypes from the standard library only. It loads
libzelvora.so.1 (--library, else $ZELVORA_LIBRARY, else the system's search path), creates the
desktop platform in a window of its own (--size, 1280x720 by default) when there is a display,
else the headless one, initialises the SDK, shows the ad of placement ID (else the first that
becomes ready) once it is ready, prints the consent record and exits 0 once the ad was on
screen. On the desktop it leaves the ad up until it is closed or S seconds (10) have passed. A
placement the server does not have ends it at once, with the ones it has."""
import ctypes
import os
import sys

OK = 0
ERROR_UNSUPPORTED = 2
ERROR_PLATFORM = 3
ERROR_BUFFER_TOO_SMALL = 10
LOG_INFO = 2
CONSENT_NOT_EEA_USER = 1


class Environment(ctypes.Structure):
    _fields_ = [("bundle_identifier", ctypes.c_char_p),
                ("config_directory", ctypes.c_char_p),
                ("caches_directory", ctypes.c_char_p),
                ("temporary_directory", ctypes.c_char_p),
                ("advertising_identifier", ctypes.c_char_p)]


PLACEMENT_EVENT = ctypes.CFUNCTYPE(None, ctypes.c_char_p, ctypes.c_void_p)
INIT = ctypes.CFUNCTYPE(None, ctypes.POINTER(ctypes.c_char_p), ctypes.c_size_t, ctypes.c_void_p)
INIT_ERROR = ctypes.CFUNCTYPE(None, ctypes.c_int, ctypes.c_char_p, ctypes.c_void_p)
FAILED_TO_SHOW = ctypes.CFUNCTYPE(None, ctypes.c_char_p, ctypes.c_int, ctypes.c_char_p,
                                  ctypes.c_void_p)


class Callbacks(ctypes.Structure):
    _fields_ = [("on_init", INIT), ("on_init_error", INIT_ERROR),
                ("on_no_ads", PLACEMENT_EVENT), ("on_ad_ready", PLACEMENT_EVENT),
                ("on_ad_shown", PLACEMENT_EVENT), ("on_ad_failed_to_show", FAILED_TO_SHOW),
                ("on_ad_close", PLACEMENT_EVENT), ("on_ad_click", PLACEMENT_EVENT)]


def load(path):
    lib = ctypes.CDLL(path)
    status = ctypes.c_int
    lib.zelvora_version.restype = ctypes.c_char_p
    lib.zelvora_last_error.restype = ctypes.c_char_p
    signatures = {
        "zelvora_platform_create_headless": [ctypes.POINTER(Environment),
                                             ctypes.POINTER(ctypes.c_void_p)],
        "zelvora_platform_create_gtk_window_sized": [ctypes.POINTER(Environment), ctypes.c_int,
                                                     ctypes.c_int,
                                                     ctypes.POINTER(ctypes.c_void_p)],
        "zelvora_platform_run_for": [ctypes.c_void_p, ctypes.c_double],
        "zelvora_set_server": [ctypes.c_char_p, ctypes.c_char_p, ctypes.c_double],
        "zelvora_set_callbacks": [ctypes.POINTER(Callbacks), ctypes.c_void_p],
        "zelvora_set_ad_screen_callbacks": [PLACEMENT_EVENT, PLACEMENT_EVENT, ctypes.c_void_p],
        "zelvora_set_log_level": [ctypes.c_int],
        "zelvora_initialize": [ctypes.c_char_p],
        "zelvora_is_ready": [ctypes.c_char_p, ctypes.POINTER(ctypes.c_int)],
        "zelvora_show_ad": [ctypes.c_void_p, ctypes.c_char_p],
        "zelvora_set_consent": [ctypes.c_int, ctypes.c_char_p, ctypes.c_int64],
        "zelvora_get_consent_json": [ctypes.c_char_p, ctypes.c_size_t,
                                     ctypes.POINTER(ctypes.c_size_t)],
    }
    for name, arguments in signatures.items():
        function = getattr(lib, name)
        function.argtypes = arguments
        function.restype = status
    lib.zelvora_platform_destroy.argtypes = [ctypes.c_void_p]
    lib.zelvora_platform_destroy.restype = None
    return lib


class Host:
    def __init__(self, lib, wanted):
        self.lib = lib
        self.wanted = wanted
        self.initialised = self.shown = self.dismissed = False
        self.placements = []
        self.ready = None
        # Kept alive here: the SDK holds only the function pointers.
        self.callbacks = Callbacks(
            on_init=INIT(self.on_init), on_init_error=INIT_ERROR(self.on_init_error),
            on_no_ads=PLACEMENT_EVENT(lambda id, _: self.say("on_no_ads", id)),
            on_ad_ready=PLACEMENT_EVENT(self.on_ad_ready),
            on_ad_shown=PLACEMENT_EVENT(self.on_ad_shown),
            on_ad_failed_to_show=FAILED_TO_SHOW(self.on_ad_failed_to_show),
            on_ad_close=PLACEMENT_EVENT(lambda id, _: self.say("on_ad_close", id)),
            on_ad_click=PLACEMENT_EVENT(lambda id, _: self.say("on_ad_click", id)))
        # A game stops its loop and its sound while an ad's screens are up.
        self.will_present = PLACEMENT_EVENT(
            lambda id, _: self.say("on_ad_will_present_screen", id.decode() + ": the game pauses"))
        self.did_dismiss = PLACEMENT_EVENT(self.on_did_dismiss_screen)

    @staticmethod
    def say(event, what):
        print("[python-host]", event, what.decode() if isinstance(what, bytes) else what,
              flush=True)

    def on_init(self, ids, count, _):
        self.placements = [ids[i].decode() for i in range(count)]
        self.say("on_init", "[" + ", ".join(self.placements) + "]")
        self.initialised = True

    def on_did_dismiss_screen(self, id, _):
        self.say("on_ad_did_dismiss_screen", id.decode() + ": the game resumes")
        self.dismissed = True

    def on_init_error(self, reason, message, _):
        self.say("on_init_error", "%d %s" % (reason, message.decode()))

    def on_ad_ready(self, id, _):
        self.say("on_ad_ready", id)
        if self.ready is None and self.wanted in (None, id):
            self.ready = id  # ctypes hands over a copy as bytes

    def on_ad_shown(self, id, _):
        self.say("on_ad_shown", id)
        self.shown = True

    def on_ad_failed_to_show(self, id, reason, message, _):
        self.say("on_ad_failed_to_show", "%s %d %s" % (id.decode(), reason, message.decode()))

    def check(self, status, what):
        if status != OK:
            raise RuntimeError("%s failed (%d): %s" % (what, status,
                                                       self.lib.zelvora_last_error().decode()))

    def wait_for(self, platform, done, seconds):
        waited = 0.0
        while not done() and waited < seconds:
            self.check(self.lib.zelvora_platform_run_for(platform, 0.05), "run_for")
            waited += 0.05
        return done()


def create_platform(host, environment, size):
    """The desktop platform when there is a display to show it on, else the headless one."""
    lib = host.lib
    platform = ctypes.c_void_p()
    if os.environ.get("DISPLAY") or os.environ.get("WAYLAND_DISPLAY"):
        width, height = size
        status = lib.zelvora_platform_create_gtk_window_sized(
            ctypes.byref(environment), width, height, ctypes.byref(platform))
        if status == OK:
            host.say("platform", "desktop, a window of %dx%d" % (width, height))
            return platform, True
        if status not in (ERROR_UNSUPPORTED, ERROR_PLATFORM):
            host.check(status, "zelvora_platform_create_gtk_window_sized")
        host.say("platform", "headless: " + lib.zelvora_last_error().decode())
    else:
        host.say("platform", "headless: no display")
    host.check(lib.zelvora_platform_create_headless(ctypes.byref(environment),
                                                    ctypes.byref(platform)), "create")
    return platform, False


def main(argv):
    library = os.environ.get("ZELVORA_LIBRARY", "libzelvora.so.1")
    wanted = None
    size = (1280, 720)
    show_seconds = 10.0
    while len(argv) > 2 and argv[1] in ("--library", "--placement", "--size", "--show-seconds"):
        option, value = argv[1], argv[2]
        if option == "--library":
            library = value
        elif option == "--placement":
            wanted = value.encode()
        elif option == "--size":
            size = tuple(int(side) for side in value.split("x", 1))
        else:
            show_seconds = float(value)
        argv = argv[:1] + argv[3:]
    if len(argv) not in (2, 3):
        print(__doc__, file=sys.stderr)
        return 2
    lib = load(library)
    host = Host(lib, wanted)
    print("[python-host] SDK", lib.zelvora_version().decode(), flush=True)
    environment = Environment(bundle_identifier=b"com.example.zelvora-python-host")
    platform, desktop = create_platform(host, environment, size)
    try:
        lib.zelvora_set_log_level(LOG_INFO)  # the callbacks print the events
        server = argv[2].encode() if len(argv) == 3 else None
        host.check(lib.zelvora_set_server(server, None, 30), "zelvora_set_server")
        host.check(lib.zelvora_set_callbacks(ctypes.byref(host.callbacks), None), "callbacks")
        host.check(lib.zelvora_set_ad_screen_callbacks(host.will_present, host.did_dismiss, None),
                   "zelvora_set_ad_screen_callbacks")
        host.check(lib.zelvora_initialize(argv[1].encode()), "zelvora_initialize")
        if not host.wait_for(platform, lambda: host.initialised, 30):
            print("[python-host] the SDK did not initialise", file=sys.stderr)
            return 1
        if wanted is not None and wanted.decode() not in host.placements:
            print("[python-host] the server has no placement \"%s\"; it has: %s"
                  % (wanted.decode(), ", ".join(host.placements)), file=sys.stderr)
            return 1
        if not host.wait_for(platform, lambda: host.ready is not None, 30):
            print("[python-host] no ad became ready", file=sys.stderr)
            return 1
        ready = ctypes.c_int()
        host.check(lib.zelvora_is_ready(host.ready, ctypes.byref(ready)), "zelvora_is_ready")
        host.say("is ready", "%s %d" % (host.ready.decode(), ready.value))
        host.check(lib.zelvora_show_ad(platform, host.ready), "zelvora_show_ad")
        host.wait_for(platform, lambda: host.shown, 10)
        if desktop and host.shown:
            host.wait_for(platform, lambda: host.dismissed, show_seconds)

        host.check(lib.zelvora_set_consent(CONSENT_NOT_EEA_USER, b"Ads keep this game free.",
                                           1700000000), "zelvora_set_consent")
        needed = ctypes.c_size_t()
        if lib.zelvora_get_consent_json(None, 0, ctypes.byref(needed)) != ERROR_BUFFER_TOO_SMALL:
            return 1
        buffer = ctypes.create_string_buffer(needed.value)
        host.check(lib.zelvora_get_consent_json(buffer, needed.value, None), "consent")
        host.say("consent", buffer.value.decode())
        return 0 if host.shown else 1
    finally:
        lib.zelvora_set_ad_screen_callbacks(PLACEMENT_EVENT(), PLACEMENT_EVENT(), None)
        lib.zelvora_set_callbacks(None, None)
        lib.zelvora_platform_destroy(platform)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
