# Type information for editors and type checkers; the docstrings say the rest (help(kammel.Bed)).
import os
from typing import Literal, Sequence, SupportsFloat, SupportsIndex, Union

import numpy as np
import numpy.typing as npt
import xarray as xr

__version__: str

_Integer = SupportsIndex
_Real = Union[SupportsFloat, SupportsIndex]
_Path = Union[str, bytes, os.PathLike[str], os.PathLike[bytes]]

class Bed:
    def __init__(
        self,
        settings: Literal["relief", "map", "open"] = "relief",
        *,
        length: _Integer | None = None,
        width: _Integer | None = None,
        height: _Integer | None = None,
        b: _Real | None = None,
        wind: _Real | None = None,
        q: _Integer | None = None,
        ties: Literal["first", "random", "alternating"] | None = None,
        periodic: Literal["no", "yes"] | None = None,
        schedule: Literal["relief", "map"] | None = None,
        seed: _Integer | None = None,
        heights: npt.ArrayLike | None = None,
    ) -> None: ...
    def run(
        self,
        batches: _Integer = 1,
        *,
        progress: bool = False,
        stats: _Path | None = None,
        netcdf: _Path | None = None,
        checkpoint: _Path | None = None,
        every: _Integer | None = None,
        checkpoint_interval: _Real | None = None,
        overwrite: bool = False,
    ) -> None: ...
    @property
    def batch(self) -> int: ...
    @property
    def seed(self) -> int: ...
    @property
    def heights(self) -> npt.NDArray[np.int32]: ...
    @property
    def params(self) -> dict[str, str | int | float]: ...
    def statistics(self) -> dict[str, int | float]: ...
    def picture(
        self, canvas: Sequence[_Integer] = (800, 600), threshold: _Integer | None = None
    ) -> npt.NDArray[np.uint8]: ...
    def save(self, path: _Path, *, overwrite: bool = False) -> None: ...
    def change(
        self, *, b: _Real | None = None, wind: _Real | None = None, q: _Integer | None = None
    ) -> None: ...
    def to_xarray(self) -> xr.Dataset: ...

class Profile:
    def __init__(
        self,
        *,
        width: _Integer | None = None,
        thickness: _Integer | None = None,
        b: _Real | None = None,
        wind: _Real | None = None,
        q: _Integer | None = None,
        seed: _Integer | None = None,
        heights: npt.ArrayLike | None = None,
    ) -> None: ...
    def run(
        self,
        steps: _Integer = 1,
        *,
        progress: bool = False,
        stats: _Path | None = None,
        netcdf: _Path | None = None,
        checkpoint: _Path | None = None,
        every: _Integer | None = None,
        checkpoint_interval: _Real | None = None,
        overwrite: bool = False,
    ) -> None: ...
    @property
    def step(self) -> int: ...
    @property
    def seed(self) -> int: ...
    @property
    def heights(self) -> npt.NDArray[np.int32]: ...
    @property
    def params(self) -> dict[str, int | float]: ...
    def statistics(self) -> dict[str, int | float]: ...
    def picture(self, canvas: Sequence[_Integer] = (800, 600)) -> npt.NDArray[np.uint8]: ...
    def save(self, path: _Path, *, overwrite: bool = False) -> None: ...
    def change(
        self, *, b: _Real | None = None, wind: _Real | None = None, q: _Integer | None = None
    ) -> None: ...
    def to_xarray(self) -> xr.Dataset: ...

def load(path: _Path) -> Bed | Profile: ...
def open_run(path: _Path) -> xr.Dataset: ...
def statistics(
    heights: npt.ArrayLike,
    previous: npt.ArrayLike | None = None,
    interval: _Real = 1,
    b: _Real = 2.0,
    wind: _Real = 5.0,
    q: _Integer = 1,
) -> dict[str, float]: ...
