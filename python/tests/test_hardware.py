"""The card's library where the system grants no port access: open() says what it needs,
registration is refused, nothing else happens. Runs without CAP_SYS_RAWIO (as root it is
dropped with setpriv first), so no real port is ever reached."""
import os
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
    assert run.stdout.splitlines() == [
        "KORVA3_INITIAL: the port-access driver could not be opened (on Linux: run as root "
        "or grant CAP_SYS_RAWIO)",
        "KORVA3_REGISTRATION(0, 0): no usable card with ID switch 0 (not found, no port "
        "access, or its link test failed)"]
