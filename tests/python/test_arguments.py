"""Arguments a user is likely to get wrong: each refused in words that say what to do, and
nothing written or replaced."""

import kammel
import pytest


def small():
    return kammel.Bed(length=20, width=20, seed=1)


@pytest.mark.parametrize("call, message", [
    (lambda d: small().run(1, stats=str(d / "data.csv\0.bak"), overwrite=True), "null byte"),
    (lambda d: small().run(1, netcdf=str(d / "h.nc\0x")), "null byte"),
    (lambda d: small().run(1, checkpoint=str(d / "r.ck\0x")), "null byte"),
    (lambda d: kammel.open_run(str(d / "r\0.ck")), "null byte"),
    (lambda d: small().run(1, stats=str(d)), "is a folder"),
    (lambda d: small().run(3, every=2), "outputs only"),
])
def test_refused(tmp_path, call, message):
    (tmp_path / "data.csv").write_text("kept")
    with pytest.raises(ValueError, match=message):
        call(tmp_path)
    assert (tmp_path / "data.csv").read_text() == "kept"


@pytest.mark.parametrize("given, same", [(True, "yes"), (False, "no")])
def test_periodic_takes_a_bool(given, same):
    a = kammel.Bed(length=20, width=20, seed=1, periodic=given)
    b = kammel.Bed(length=20, width=20, seed=1, periodic=same)
    a.run(2)
    b.run(2)
    assert (a.heights == b.heights).all()
