"""The card's library where the system grants no port access: open() says what it needs,
registration is refused, nothing else happens. Runs without CAP_SYS_RAWIO (as root it is
dropped with setpriv first), so no real port is ever reached."""
import errno
import os
import re
import shutil
import subprocess
import sys

import pytest

import korva3

HW_LIBRARY = os.environ.get("KORVA3_TEST_HW_LIBRARY")

CODE = """
import korva3
try:
    korva3.open()
except korva3.KorvaError as e:
    print(e)
korva = korva3.Korva(korva3.raw(), initialise=False)
try:
    korva.register(0, 0)
except korva3.KorvaError as e:
    print(e)
"""


@pytest.mark.skipif(not HW_LIBRARY or not sys.platform.startswith("linux"),
                    reason="the Linux hardware library (KORVA3_TEST_HW_LIBRARY) is not given")
def test_without_port_access_open_and_registration_are_refused():
    prefix = []
    if os.geteuid() == 0:
        if not shutil.which("setpriv"):
            pytest.skip("root, and no setpriv to give up CAP_SYS_RAWIO")
        prefix = ["setpriv", "--bounding-set=-sys_rawio", "--inh-caps=-sys_rawio"]
    env = dict(os.environ, KORVA3_LIBRARY=HW_LIBRARY,
               PYTHONPATH=os.path.dirname(os.path.dirname(korva3.__file__)))
    run = subprocess.run(prefix + [sys.executable, "-c", CODE], env=env, capture_output=True,
                         text=True, check=True)
    # What the kernel said: "not permitted" without the capability, "not implemented"
    # on a kernel without iopl (then not even root gets port access).
    initial, registration = run.stdout.splitlines()
    assert re.fullmatch(r"KORVA3_INITIAL: the port-access driver could not be opened "
                        r"\((Operation not permitted; run as root or grant CAP_SYS_RAWIO"
                        r"|Function not implemented)\)", initial), initial
    assert registration == ("KORVA3_REGISTRATION(0, 0): no usable card with ID switch 0 "
                            "(not found, no port access, or its link test failed)")


@pytest.mark.parametrize("error, said", [
    (errno.EPERM, " (Operation not permitted; run as root or grant CAP_SYS_RAWIO)"),
    (errno.ENOSYS, " (Function not implemented)"),  # root, on a kernel without iopl
    (0, ""),
])
def test_a_refused_initial_says_what_the_system_said(error, said):
    from korva3.library import _system_said
    assert _system_said(error) == said
