{
    "patcher": {
        "boxes": [
            {"box": {"id": "obj-1", "maxclass": "newobj", "varname": "buf", "text": "buffer~ snd",
                     "patching_rect": [10.0, 10.0, 120.0, 22.0]}},
            {"box": {"id": "obj-2", "maxclass": "spectrogram~", "varname": "left", "buffer_name": "snd",
                     "buffer_chan": 1, "win_size": 256, "patching_rect": [10.0, 50.0, 300.0, 101.0]}},
            {"box": {"id": "obj-3", "maxclass": "spectrogram~", "varname": "right", "buffer_name": "snd",
                     "buffer_chan": 2, "win_size": 256, "patching_rect": [10.0, 170.0, 300.0, 101.0]}},
            {"box": {"id": "obj-4", "maxclass": "gradix", "varname": "bar",
                     "patching_rect": [320.0, 50.0, 40.0, 220.0]}}
        ],
        "lines": [
            {"patchline": {"source": ["obj-2", 8], "destination": ["obj-3", 8]}},
            {"patchline": {"source": ["obj-3", 8], "destination": ["obj-2", 8]}},
            {"patchline": {"source": ["obj-4", 0], "destination": ["obj-3", 0]}}
        ]
    }
}
