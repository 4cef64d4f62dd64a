"""Objects and runs as xarray Datasets in the layout of kammelsim's data file: height(y, x) or
height(x), x along the wind, with the file's names, units and attributes."""

import csv
import os
import pathlib
import stat

import numpy as np

# The data file's external types (nc_type numbers) as numpy reads them.
_TYPES = {4: ">i4", 6: ">f8", 9: ">u4", 10: ">i8"}
_MAGIC = b"KAMMELCP"


def _value(kind, raw):
    if kind not in _TYPES:
        return raw.decode("utf-8")
    values = np.frombuffer(raw, _TYPES[kind]).astype(_TYPES[kind].replace(">", "="))
    return values[0] if len(values) == 1 else values


def _attributes(listed):
    return {name: _value(kind, raw) for name, kind, raw in listed}


def to_xarray(self):
    """The current state as an xarray Dataset laid out as kammelsim's --netcdf file, at this
    batch or step: height(y, x) for a bed (y across the wind, x along it: .heights transposed),
    height(x) for a profile, int32; time a scalar coordinate; the same units, long names and
    global attributes (provenance, parameter_NAME, kammel_format). A record of the runner's
    file, xr.open_dataset(f).isel(time=k), is identical but for history, run_id and command."""
    import xarray as xr

    layout = self._data_file()
    lengths = dict(layout["dimensions"])
    counter = "batch" if type(self).__name__ == "Bed" else "step"
    heights = self.heights
    values = {
        "time": np.int64(getattr(self, counter)),
        "x": np.arange(lengths["x"], dtype=np.int32),
        "y": np.arange(lengths.get("y", 0), dtype=np.int32),
        "height": np.ascontiguousarray(heights.T) if heights.ndim == 2 else heights.copy(),
    }
    coords, data = {}, {}
    for name, dims, _, attributes in layout["variables"]:
        dims = tuple(d for d in dims if d != "time")
        (coords if name in lengths else data)[name] = (dims, values[name], _attributes(attributes))
    return xr.Dataset(data, coords=coords, attrs=_attributes(layout["attributes"]))


_KINDS = {stat.S_IFLNK: "a symbolic link", stat.S_IFDIR: "a folder", stat.S_IFIFO: "a FIFO",
          stat.S_IFCHR: "a device", stat.S_IFBLK: "a device", stat.S_IFSOCK: "a socket"}


def _regular(path, mode=None):
    """path, refused unless a regular file: a link may lead anywhere (/proc/self/mem), and the
    read of a FIFO waits for a writer."""
    kind = stat.S_IFMT(path.lstat().st_mode if mode is None else mode)
    if kind != stat.S_IFREG:
        raise ValueError(f"{str(path)!r} is {_KINDS.get(kind, 'not a regular file')}: a run is "
                         "read from regular files only")
    return path


def _checkpoint_in(folder):
    """The one checkpoint in folder, or None; ValueError for more than one."""
    found = []
    for entry in sorted(folder.iterdir()):
        if entry.name.startswith("."):
            continue
        mode = entry.lstat().st_mode
        if stat.S_ISDIR(mode):  # a frame folder
            continue
        with open(_regular(entry, mode), "rb") as file:
            if file.read(len(_MAGIC)) == _MAGIC:
                found.append(entry)
    if len(found) > 1:
        names = ", ".join(entry.name for entry in found)
        raise ValueError(f"{str(folder)!r} holds more than one checkpoint ({names}): "
                         "open one of them")
    return found[0] if found else None


def _only(folder, suffix):
    found = sorted(folder.glob(f"*{suffix}"))
    if len(found) > 1:
        raise ValueError(f"{str(folder)!r} holds more than one {suffix} file: open its "
                         "checkpoint, which names the run's own")
    return found[0] if found else None


def _one_run(named):
    """Refuses files of different runs, which one Dataset would mix; named maps each file (or
    checkpoint) to the run id it carries, empty where it carries none."""
    ids = {path: run_id for path, run_id in named.items() if run_id}
    if len(set(ids.values())) > 1:
        owners = ", ".join(f"{str(path)!r} of run {run_id}" for path, run_id in ids.items())
        raise ValueError(f"the files are not one run's: {owners}")


def _read_csv(path):
    """A statistics file's provenance ('#' lines), units and columns."""
    heading, units, body = {}, [], []
    with open(path, newline="", encoding="utf-8") as file:
        lines = list(file)
    for line in lines:
        if not line.startswith("#"):
            body.append(line)
            continue
        name, _, value = line[1:].strip().partition(": ")
        if name == "Units":
            units = value.split(",")
        elif name == "History":
            heading.setdefault(name, []).append(value)
        else:
            heading[name] = value
    reader = csv.reader(body)
    names = next(reader)
    rows = [[float(cell) for cell in row] for row in reader if row]
    columns = {name: np.array([row[n] for row in rows]) for n, name in enumerate(names)}
    return heading, dict(zip(names, units)), columns


def _parameters(text):
    """parameter_NAME attributes of a Parameters line, numbers as numbers."""
    attributes = {}
    for word in text.split():
        name, _, value = word.partition("=")
        for kind in (int, float):
            try:
                value = kind(value)
                break
            except ValueError:
                pass
        attributes[f"parameter_{name}"] = value
    return attributes


def _csv_dataset(path):
    import xarray as xr

    heading, units, columns = _read_csv(path)
    first = next(iter(columns))  # batch or step
    unit = "batches" if first == "batch" else "steps"
    time = columns.pop(first).astype(np.int64)
    data = {name: ("time", values, {"units": units.get(name, "1")})
            for name, values in columns.items()}
    coords = {"time": ("time", time, {"units": "1",
                                      "long_name": f"{unit} run before the snapshot"})}
    attrs = {"source": heading.get("Software", ""), "command": heading.get("Command", ""),
             "history": "\n".join(heading.get("History", [])), "run_id": heading.get("Run", "")}
    if "Seed" in heading:
        attrs["seed"] = np.uint32(heading["Seed"])
    attrs.update(_parameters(heading.get("Parameters", "")))
    return xr.Dataset(data, coords=coords, attrs=attrs)


def open_run(path):
    """A run as one xarray Dataset: its folder (the one checkpoint in it, or its one .nc and
    .csv file) or its checkpoint.

    height(time, y, x) comes from the data file (--netcdf), as xarray opens it; the statistics
    from the data file where it holds them, else from the CSV (--stats), on the same time
    coordinate, with the CSV's units; the provenance (source, command, seed, parameter_NAME,
    run_id, history) as attributes. A checkpoint adds done and total, the batches or steps run
    and asked for: a stopped run has done < total. Everything is read into memory and the
    files closed. ValueError when the path holds no run, files of different runs (their run
    ids differ) or a file that is not a regular one (a link, FIFO or device);
    FileNotFoundError when it is missing.
    """
    import xarray as xr

    from . import _kammel

    if "\0" in os.fsdecode(path):
        raise ValueError("embedded null byte")
    path = pathlib.Path(os.fsdecode(path))
    if not path.exists():
        raise FileNotFoundError(2, "no such file or folder", str(path))
    checkpoint = _checkpoint_in(path) if path.is_dir() else path
    record = _kammel._checkpoint(checkpoint) if checkpoint else None
    if record:
        folder = checkpoint.parent
        outputs = {name: folder / os.fsdecode(file) for name, file in record["outputs"].items()}
        netcdf, stats = outputs.get("netcdf"), outputs.get("stats")
    else:
        netcdf, stats = _only(path, ".nc"), _only(path, ".csv")
    if netcdf is None and stats is None:
        raise ValueError(f"{str(path)!r} records no data file (--netcdf) and no statistics "
                         "(--stats)")
    run, table, ids = None, None, {checkpoint: record["run_id"]} if record else {}
    if netcdf is not None:
        with xr.open_dataset(_regular(netcdf)) as opened:
            run = opened.load()
        ids[netcdf] = run.attrs.get("run_id", "")
    if stats is not None:
        table = _csv_dataset(_regular(stats))
        ids[stats] = table.attrs["run_id"]
    _one_run(ids)
    if table is not None and (run is None or "sand" not in run):
        # The data file's attributes and snapshots rule: they are the run's own.
        run = table if run is None else run.merge(table, join="left", combine_attrs="override")
    if record:
        run.attrs.update(done=np.int64(record["done"]), total=np.int64(record["total"]))
        run.attrs.setdefault("run_id", record["run_id"])
    return run
