#error "a headless source includes <GL/glx.h>: only render/, platform/ and app/gl/ may use GL"
